// One monitor driven over DDC/CI, with a writer of its own: its exchanges run
// on a dispatch queue of the monitor's own, so whoever asks (a fade on the
// main thread) never waits for the monitor.
//
// Writes follow the monitor's write budget (DdcWriteBudget.h): only the
// newest brightness, only when it changes the monitor's whole-number value,
// once it has stopped changing; a fade costs one write, on its target.
//
// Every Set is read back once the monitor has had its quiet. A monitor whose
// reading does not follow what it is sent (one that reports 255 of 100, one
// in its own automatic mode that ignores Sets) is driven write-only from
// then on: what it reports is never taken for a person's change. A person's
// change is a reading that moves away from a value the monitor confirmed.
//
// Reads answer from the value last confirmed or read; the monitor is asked
// again in the background when that is older than 10 s. Nothing is asked
// while its output is off or asleep.
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
#include "engine/DdcWriteBudget.h"

namespace duolume {

class DdcLink;

class DdcMonitor : public std::enable_shared_from_this<DdcMonitor> {
  public:
    inline static constexpr double kRefreshAfterSeconds = 10.0;
    // How often an output that is off is looked at again.
    inline static constexpr double kAsleepRecheckSeconds = 5.0;

    // `name` is for log lines.
    static std::shared_ptr<DdcMonitor> create(IOAVServiceRef service, std::string name);
    ~DdcMonitor();
    DdcMonitor(const DdcMonitor&) = delete;
    DdcMonitor& operator=(const DdcMonitor&) = delete;

    const std::string& name() const { return name_; }
    // Where its messages go, for log lines (empty where nothing is known).
    std::string bus() const { return platform::describeAVServiceBus(service_); }

    struct Answer {
        std::optional<ddc::VcpValue> value;  // absent: it did not answer
        bool asleep = false;                 // its output is off: not asked
        std::string why;                     // why not
    };
    // Asks the monitor for its brightness on its queue; `done` runs on the
    // main queue with the answer. A monitor that does not answer at once is
    // asked again for 3 s; one that was just plugged in gets a second first.
    // A monitor whose output is off is not asked: the answer says so.
    void probe(bool newlyAdded, std::function<void(const Answer&)> done);
    // `done` runs on the main queue once its output is lit again.
    void whenAwake(std::function<void()> done);

    // The newest brightness for the monitor, 0.0 to 1.0 (clamped). Returns at once.
    void request(double brightness);
    // The brightness last confirmed by or read from the monitor (or, driven
    // write-only, last sent); absent before it has answered. Asks the
    // monitor again in the background when stale.
    std::optional<double> brightness();
    // The brightness the monitor was last read at, when that moved away from
    // the value it had confirmed: someone used its own buttons (or its own
    // sensor moved it). Never for a monitor driven write-only.
    std::optional<double> changedByOthers();
    bool writeOnly() const;
    // Writes made in the last 24 hours.
    std::size_t writesInADay() const;

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
    Answer ask(bool newlyAdded);
    void flush(unsigned generation);
    void write(std::uint16_t value);
    void refresh();
    bool outputOff();
    void scheduleFlush(double when);
    void checkAwake(std::function<void()> done);
    // When the wanted value is due; the lock is held.
    std::optional<double> due() const;
    // The whole-number value for `brightness`; the lock is held.
    std::uint16_t rawFor(double brightness) const;
    void reportOnMain(std::string line);

    const std::string name_;
    IOAVServiceRef service_;
    std::unique_ptr<DdcLink> link_;  // used on the queue only
    dispatch_queue_t queue_;

    mutable std::mutex mutex_;  // guards everything below, never held during an exchange
    std::optional<double> wanted_;
    DdcWriteBudget::Wanted wantedRaw_;
    std::optional<std::uint16_t> known_;      // what it shows, as far as is known
    std::optional<std::uint16_t> confirmed_;  // the last value it confirmed
    bool writeOnly_ = false;
    int unfollowedSets_ = 0;
    bool sensorSwitchedOff_ = false;  // on the queue only
    std::uint16_t maximum_ = 0;
    DdcWriteBudget budget_;
    double lastRead_ = -std::numeric_limits<double>::infinity();
    bool flushPending_ = false;
    double flushAt_ = 0;
    unsigned flushGeneration_ = 0;  // of the flush that counts
    bool refreshPending_ = false;
    int failedWrites_ = 0;
};

}  // namespace duolume
