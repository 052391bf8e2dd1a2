// Dispatch queues on the simulated machine. Each serial queue has a virtual
// timeline of its own: a block starts at its time or when the block before it
// has finished, whichever is later, and a usleep inside a block moves only
// that block's clock, as it would on a thread of its own. Blocks run when the
// main thread's clock passes their start (in its usleep or while its run loop
// runs), earliest first, so every run is the same. The main queue is served
// by the main thread's run loop in every mode.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/DispatchQueue.h"

namespace platform::sim {

class SimDispatch {
  public:
    std::shared_ptr<DispatchQueue> createQueue(const std::string& label);
    std::shared_ptr<DispatchQueue> mainQueue();

    // Runs every queue block that can start by `until`, earliest start first.
    void runUntil(double until);
    // When the next queue block can start; infinity when none waits.
    double nextStart() const;

    // Whether a queue block is running, and its own clock.
    bool inBlock() const { return running_; }
    double blockClock() const { return blockClock_; }
    void advanceBlockClock(double seconds) { blockClock_ += seconds; }

  private:
    class Queue;
    std::shared_ptr<Queue> earliest(double* start) const;

    std::vector<std::weak_ptr<Queue>> queues_;
    std::shared_ptr<DispatchQueue> main_;
    std::uint64_t nextSequence_ = 0;
    bool running_ = false;
    double blockClock_ = 0.0;
};

}  // namespace platform::sim
