#include "engine/DdcMonitor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSProcessInfo.h"
#include "base/RawBrightness.h"
#include "engine/DdcLink.h"

namespace duolume {
namespace {

// A display just plugged in may be slow to answer even when it seems ready:
// it gets one second more first (rockowitz/ddcutil v2.2.7
// src/ddc/ddc_initial_checks.c, "Additional 1 second sleep for newly added
// display"); one that does not answer is asked again every 200 ms for 3 s
// (src/dw/dw_recheck.c, dw_recheck_displays_func).
constexpr std::uint32_t kNewlyAddedMicroseconds = 1000000;
constexpr std::uint32_t kRecheckMicroseconds = 200000;
constexpr double kRecheckSeconds = 3.0;
// A Set whose read-back differs is read once more this much later, for a
// monitor that takes its time to show a value.
constexpr std::uint32_t kSecondReadBackMicroseconds = 1000000;
// How often a monitor may fail to show what it was set to before it is
// driven write-only.
constexpr int kUnfollowedSets = 2;
// A write that fails on the bus is tried again this much later, so often.
constexpr double kWriteRetrySeconds = 1.0;
constexpr int kWriteFailures = 3;

double now() {
    return CFAbsoluteTimeGetCurrent();
}

// Asking again changes nothing when a kernel driver holds the address, the
// bus is gone or not ours, or another program holds it.
bool worthAskingAgain(IOReturn status) {
    return status != kIOReturnBusy && status != kIOReturnNoDevice &&
           status != kIOReturnNotAttached && status != kIOReturnNotPermitted &&
           status != kIOReturnBadArgument && status != kIOReturnTimeout;
}

}  // namespace

std::shared_ptr<DdcMonitor> DdcMonitor::create(IOAVServiceRef service, std::string name) {
    return std::shared_ptr<DdcMonitor>(new DdcMonitor(std::move(service), std::move(name)));
}

DdcMonitor::DdcMonitor(IOAVServiceRef service, std::string name)
    : name_(std::move(name)),
      service_(service),
      link_(std::make_unique<DdcLink>(std::move(service))),
      queue_(dispatch_queue_create("DDC/CI monitor", DISPATCH_QUEUE_SERIAL)) {}

DdcMonitor::~DdcMonitor() = default;

bool DdcMonitor::outputOff() {
    return platform::avServiceOutputState(service_) == platform::AVOutputState::Off;
}

void DdcMonitor::probe(bool newlyAdded, std::function<void(const Answer&)> done) {
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_async(queue_, [weak, newlyAdded, done = std::move(done)] {
        auto self = weak.lock();
        if (!self)
            return;
        const Answer answer = self->ask(newlyAdded);
        dispatch_async(dispatch_get_main_queue(), [done, answer] { done(answer); });
    });
}

DdcMonitor::Answer DdcMonitor::ask(bool newlyAdded) {
    Answer answer;
    if (outputOff()) {
        answer.asleep = true;
        answer.why = "its output is off or asleep";
        return answer;
    }
    if (newlyAdded)
        platform::usleep(kNewlyAddedMicroseconds);
    const double giveUp = now() + kRecheckSeconds;
    for (;;) {
        answer.value = link_->readLuminance(&answer.why);
        if (answer.value || !worthAskingAgain(link_->status()) || now() >= giveUp)
            break;
        platform::usleep(kRecheckMicroseconds);
    }
    if (link_->status() == kIOReturnBusy)
        answer.why += ": a kernel driver holds its DDC/CI address";
    if (answer.value && answer.value->maximum == 0) {
        answer.value.reset();
        answer.why = "it gives a maximum brightness of 0";
    }
    if (!answer.value) {
        link_->close();  // nothing of it stays open
        return answer;
    }
    std::lock_guard lock(mutex_);
    maximum_ = answer.value->maximum;
    known_ = std::min(answer.value->current, answer.value->maximum);
    lastRead_ = now();
    if (answer.value->current > answer.value->maximum) {
        writeOnly_ = true;  // a reading beyond its own maximum says nothing
        char line[200];
        std::snprintf(line, sizeof line,
                      "DDC/CI monitor %s reports brightness %u of %u; driven without reading "
                      "it back",
                      name_.c_str(), static_cast<unsigned>(answer.value->current),
                      static_cast<unsigned>(answer.value->maximum));
        reportOnMain(line);
    } else {
        confirmed_ = known_;
    }
    return answer;
}

void DdcMonitor::whenAwake(std::function<void()> done) {
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_async(queue_, [weak, done = std::move(done)] {
        if (auto self = weak.lock())
            self->checkAwake(done);
    });
}

void DdcMonitor::checkAwake(std::function<void()> done) {
    if (!outputOff()) {
        dispatch_async(dispatch_get_main_queue(), std::move(done));
        return;
    }
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, std::llround(kAsleepRecheckSeconds * 1e9)),
                   queue_, [weak, done = std::move(done)] {
                       if (auto self = weak.lock())
                           self->checkAwake(done);
                   });
}

std::uint16_t DdcMonitor::rawFor(double brightness) const {
    return static_cast<std::uint16_t>(platform::rawBrightness(brightness, maximum_));
}

void DdcMonitor::request(double brightness) {
    if (std::isnan(brightness))
        return;
    std::lock_guard lock(mutex_);
    wanted_ = brightness;
    if (!maximum_)
        return;  // its answer brings the maximum; the request waits for it
    const std::uint16_t raw = rawFor(brightness);
    const double t = now();
    if (raw != wantedRaw_.value) {
        if (wantedRaw_.value == known_)
            wantedRaw_.differing = t;
        wantedRaw_.value = raw;
        wantedRaw_.since = t;
        failedWrites_ = 0;
    }
    if (raw == known_)
        wantedRaw_.differing = t;
    const auto at = due();
    if (at && (!flushPending_ || *at < flushAt_ - 1e-6))
        scheduleFlush(*at);
}

std::optional<double> DdcMonitor::due() const {
    return budget_.sendAt(wantedRaw_, known_.value_or(0), maximum_);
}

void DdcMonitor::scheduleFlush(double when) {
    flushPending_ = true;
    flushAt_ = when;
    const unsigned generation = ++flushGeneration_;
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    const double delay = std::max(0.0, when - now());
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, std::llround(delay * 1e9)), queue_,
                   [weak, generation] {
                       if (auto self = weak.lock())
                           self->flush(generation);
                   });
}

void DdcMonitor::flush(unsigned generation) {
    const bool off = outputOff();
    std::uint16_t value = 0;
    {
        std::lock_guard lock(mutex_);
        if (!flushPending_ || generation != flushGeneration_)
            return;  // a flush scheduled since is the one that counts
        if (now() < flushAt_ - 1e-3) {
            scheduleFlush(flushAt_);  // the timer came early
            return;
        }
        flushPending_ = false;
        if (!wanted_ || !maximum_)
            return;
        const auto at = due();
        if (!at)
            return;
        if (off || *at > now() + 1e-3) {
            scheduleFlush(off ? now() + kAsleepRecheckSeconds : *at);
            return;
        }
        value = wantedRaw_.value;
    }
    write(value);
    std::lock_guard lock(mutex_);
    if (flushPending_ || failedWrites_ >= kWriteFailures)
        return;
    if (failedWrites_ > 0) {
        scheduleFlush(now() + kWriteRetrySeconds);
    } else if (auto at = due()) {
        scheduleFlush(*at);
    }
}

void DdcMonitor::write(std::uint16_t value) {
    const IOReturn status = link_->writeLuminance(value);
    {
        std::lock_guard lock(mutex_);
        if (status != kIOReturnSuccess) {
            if (++failedWrites_ == 1) {
                char line[160];
                std::snprintf(line, sizeof line,
                              "DDC/CI monitor %s: IOAVServiceWriteI2C error 0x%x", name_.c_str(),
                              static_cast<unsigned>(status));
                reportOnMain(line);
            }
            return;
        }
        failedWrites_ = 0;
        budget_.sent(now());
        known_ = value;
        if (writeOnly_)
            return;
    }
    // Read back once the monitor has had its quiet, and once more a little
    // later where it has not got there yet.
    std::string why;
    auto back = link_->readLuminance(&why);
    if (back && back->current != value) {
        platform::usleep(kSecondReadBackMicroseconds);
        back = link_->readLuminance(&why);
    }
    std::lock_guard lock(mutex_);
    lastRead_ = now();
    if (!back)
        return;  // no answer proves nothing either way
    if (back->current == value) {
        confirmed_ = value;
        unfollowedSets_ = 0;
        return;
    }
    if (++unfollowedSets_ < kUnfollowedSets)
        return;
    writeOnly_ = true;
    char line[220];
    std::snprintf(line, sizeof line,
                  "DDC/CI monitor %s does not show what it is set to (set to %u, it reads %u of "
                  "%u); driven without reading it back",
                  name_.c_str(), static_cast<unsigned>(value), static_cast<unsigned>(back->current),
                  static_cast<unsigned>(back->maximum));
    reportOnMain(line);
}

std::optional<double> DdcMonitor::brightness() {
    std::optional<double> value;
    {
        std::lock_guard lock(mutex_);
        if (!known_ || !maximum_)
            return std::nullopt;
        value = static_cast<double>(*known_) / maximum_;
        if (writeOnly_ || refreshPending_ || flushPending_ ||
            now() < lastRead_ + kRefreshAfterSeconds)
            return value;
        refreshPending_ = true;
    }
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_async(queue_, [weak] {
        if (auto self = weak.lock())
            self->refresh();
    });
    return value;
}

std::optional<double> DdcMonitor::changedByOthers() {
    brightness();  // asks again when what is known is stale
    std::lock_guard lock(mutex_);
    if (writeOnly_ || unfollowedSets_ || !confirmed_ || !known_ || !maximum_ ||
        *known_ == *confirmed_ || flushPending_)
        return std::nullopt;
    return static_cast<double>(*known_) / maximum_;
}

bool DdcMonitor::writeOnly() const {
    std::lock_guard lock(mutex_);
    return writeOnly_;
}

std::size_t DdcMonitor::writesInADay() const {
    std::lock_guard lock(mutex_);
    return budget_.writesInADay(now());
}

void DdcMonitor::switchOffLightSensor() {
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_async(queue_, [weak] {
        auto self = weak.lock();
        if (!self || self->sensorSwitchedOff_)
            return;
        std::string why;
        const auto sensor = self->link_->readFeature(ddc::kAmbientLightSensor, &why);
        if (!sensor || sensor->sl() != ddc::kSensorEnabled)
            return;  // none, or already off: nothing to put back later
        if (self->link_->writeFeature(ddc::kAmbientLightSensor, ddc::kSensorDisabled) ==
            kIOReturnSuccess) {
            self->sensorSwitchedOff_ = true;
            self->reportOnMain("DDC/CI monitor " + self->name_ +
                               ": its own light sensor switched off while Duolume drives it");
        }
    });
}

void DdcMonitor::restoreLightSensor() {
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_async(queue_, [weak] {
        auto self = weak.lock();
        if (!self || !self->sensorSwitchedOff_)
            return;
        if (self->link_->writeFeature(ddc::kAmbientLightSensor, ddc::kSensorEnabled) ==
            kIOReturnSuccess) {
            self->sensorSwitchedOff_ = false;
            self->reportOnMain("DDC/CI monitor " + self->name_ + ": its own light sensor back on");
        }
    });
}

void DdcMonitor::close() {
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_async(queue_, [weak] {
        if (auto self = weak.lock())
            self->link_->close();
    });
}

void DdcMonitor::afterPending(std::function<void()> done) {
    dispatch_async(queue_,
                   [done = std::move(done)] { dispatch_async(dispatch_get_main_queue(), done); });
}

void DdcMonitor::refresh() {
    if (outputOff()) {
        std::lock_guard lock(mutex_);
        refreshPending_ = false;
        lastRead_ = now();
        return;
    }
    std::string why;
    const auto value = link_->readLuminance(&why);
    std::lock_guard lock(mutex_);
    refreshPending_ = false;
    lastRead_ = now();
    // A write on its way knows better than what the monitor said before it.
    if (value && value->maximum && !flushPending_) {
        maximum_ = value->maximum;
        known_ = std::min(value->current, value->maximum);
    }
}

void DdcMonitor::reportOnMain(std::string line) {
    dispatch_async(dispatch_get_main_queue(),
                   [line = std::move(line)] { NSLog("%s", line.c_str()); });
}

}  // namespace duolume
