// Dispatch queues: blocks that run one after another away from the caller,
// on a serial queue of their own or on the main thread's run loop.
//
// A serial queue runs its blocks in the order they were submitted, each after
// the one before has returned, never before its time; the caller never waits.
// Blocks on the main queue run while the main thread's run loop runs, in any
// mode, never inside the call that submits them. How a queue's blocks are run
// belongs to the installed machine: a thread per queue on Linux, a virtual
// timeline per queue on the simulated machine (there a block's usleep moves
// only its own queue's clock, as a thread of its own would).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

class DispatchQueue {
  public:
    virtual ~DispatchQueue() = default;
    // Runs `block` once every block submitted before it has run, and not
    // before `when` (the machine's absolute time, in seconds).
    virtual void enqueue(double when, std::function<void()> block) = 0;
};

}  // namespace platform

// A queue lives as long as a reference to it; blocks not yet started when the
// last one goes are dropped, a block already running finishes.
using dispatch_queue_t = std::shared_ptr<platform::DispatchQueue>;
using dispatch_block_t = std::function<void()>;
// Nanoseconds on the machine's clock.
using dispatch_time_t = std::uint64_t;

struct dispatch_queue_attr_s;
using dispatch_queue_attr_t = dispatch_queue_attr_s*;
inline constexpr dispatch_queue_attr_t DISPATCH_QUEUE_SERIAL = nullptr;

inline constexpr dispatch_time_t DISPATCH_TIME_NOW = 0;
inline constexpr std::int64_t NSEC_PER_MSEC = 1000000;
inline constexpr std::int64_t NSEC_PER_SEC = 1000000000;

// A new serial queue; `label` names its thread where there is one.
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);
dispatch_queue_t dispatch_get_main_queue();
// `when` (or now, for DISPATCH_TIME_NOW) moved by `delta` nanoseconds.
dispatch_time_t dispatch_time(dispatch_time_t when, std::int64_t delta);
void dispatch_async(const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_after(dispatch_time_t when, const dispatch_queue_t& queue, dispatch_block_t block);
