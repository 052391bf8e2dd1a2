// One monitor driven over DDC/CI, with a writer of its own: its exchanges run
// on a dispatch queue of the monitor's own, so whoever asks (a fade on the
// main thread) never waits for the monitor.
//
// Writes are few, because a Set takes tens of milliseconds on the bus and
// many monitors store the value in non-volatile memory rated for tens of
// thousands of writes: the writer sends only the newest brightness, only
// when it changes the monitor's whole-number value, and at most once every
// 250 ms, so a one-second fade from 0 to 100 % costs at most 6 writes (5 when
// it keeps to time, one more when it runs up to 250 ms late) and ends on its
// target; a brightness that does not change costs nothing.
//
// Reads answer from the value last sent or read; the monitor is asked again
// in the background when that is older than 10 s.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "IOKit/IOAVService.h"
#include "dispatch/DispatchQueue.h"
#include "engine/DdcCiMessages.h"

namespace duolume {

class DdcLink;

class DdcMonitor : public std::enable_shared_from_this<DdcMonitor> {
  public:
    inline static constexpr double kWriteIntervalSeconds = 0.25;
    inline static constexpr double kRefreshAfterSeconds = 10.0;

    // `name` is for log lines.
    static std::shared_ptr<DdcMonitor> create(IOAVServiceRef service, std::string name);
    ~DdcMonitor();
    DdcMonitor(const DdcMonitor&) = delete;
    DdcMonitor& operator=(const DdcMonitor&) = delete;

    const std::string& name() const { return name_; }

    struct Answer {
        std::optional<ddc::VcpValue> value;  // absent: it did not answer
        std::string why;                     // then why not
    };
    // Asks the monitor for its brightness on its queue (three tries, as
    // ddcutil detects a monitor); `done` runs on the main queue with the answer.
    void probe(std::function<void(const Answer&)> done);

    // The newest brightness for the monitor, 0.0 to 1.0 (clamped). Returns at once.
    void request(double brightness);
    // The brightness last sent to or read from the monitor; absent before it
    // has answered. Asks the monitor again in the background when stale.
    std::optional<double> brightness();
    // The brightness the monitor was last read at, when that is not what was
    // last sent to it: someone used its own buttons (or its own sensor moved
    // it). Asks the monitor again in the background when stale.
    std::optional<double> changedByOthers();

    // Its own ambient light sensor (MCCS 0x66), on its queue: switched off
    // when it is on, and put back as it was when Duolume lets the monitor go.
    void switchOffLightSensor();
    void restoreLightSensor();
    // Lets go of the bus's device until the next exchange, on its queue.
    void close();
    // `done` runs on the main queue once everything asked of the monitor
    // before it has been sent.
    void afterPending(std::function<void()> done);

  private:
    DdcMonitor(IOAVServiceRef service, std::string name);
    // On the queue.
    void flush();
    void refresh();
    void scheduleFlush(double when);
    // The whole-number value for `brightness`; the lock is held.
    std::uint16_t rawFor(double brightness) const;
    void reportOnMain(std::string line);

    const std::string name_;
    std::unique_ptr<DdcLink> link_;  // used on the queue only
    dispatch_queue_t queue_;

    std::mutex mutex_;  // guards everything below, never held during an exchange
    std::optional<double> wanted_;
    std::optional<std::uint16_t> known_;
    std::optional<std::uint16_t> sent_;  // the last value a write took
    bool sensorSwitchedOff_ = false;     // on the queue only
    std::uint16_t maximum_ = 0;
    double lastWrite_ = -std::numeric_limits<double>::infinity();
    double lastRead_ = -std::numeric_limits<double>::infinity();
    bool flushPending_ = false;
    bool refreshPending_ = false;
    int failedWrites_ = 0;
};

}  // namespace duolume
