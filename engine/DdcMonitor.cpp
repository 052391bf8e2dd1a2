#include "engine/DdcMonitor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSProcessInfo.h"
#include "engine/DdcLink.h"

namespace duolume {
namespace {

// How ddcutil looks for a monitor at 0x37: three tries, 400 ms apart, and
// how often it tries a write (rockowitz/ddcutil v2.2.7 src/base/parms.h,
// DETECT_X37_MAX_TRIES, DETECT_X37_RETRY_MILLISEC and
// INITIAL_MAX_WRITE_ONLY_EXCHANGE_TRIES).
constexpr int kProbeTries = 3;
constexpr std::uint32_t kProbeRetryMicroseconds = 400000;
constexpr int kWriteTries = 4;

}  // namespace

std::shared_ptr<DdcMonitor> DdcMonitor::create(IOAVServiceRef service, std::string name) {
    return std::shared_ptr<DdcMonitor>(new DdcMonitor(std::move(service), std::move(name)));
}

DdcMonitor::DdcMonitor(IOAVServiceRef service, std::string name)
    : name_(std::move(name)),
      link_(std::make_unique<DdcLink>(std::move(service))),
      queue_(dispatch_queue_create("DDC/CI monitor", DISPATCH_QUEUE_SERIAL)) {}

DdcMonitor::~DdcMonitor() = default;

void DdcMonitor::probe(std::function<void(const Answer&)> done) {
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_async(queue_, [weak, done = std::move(done)] {
        auto self = weak.lock();
        if (!self)
            return;
        Answer answer;
        for (int attempt = 0; attempt < kProbeTries && !answer.value; ++attempt) {
            if (attempt)
                platform::usleep(kProbeRetryMicroseconds);
            answer.value = self->link_->readLuminance(&answer.why);
        }
        if (answer.value && answer.value->maximum == 0) {
            answer.value.reset();
            answer.why = "it gives a maximum brightness of 0";
        }
        if (answer.value) {
            std::lock_guard lock(self->mutex_);
            self->maximum_ = answer.value->maximum;
            self->known_ = std::min(answer.value->current, answer.value->maximum);
            self->lastRead_ = CFAbsoluteTimeGetCurrent();
        }
        dispatch_async(dispatch_get_main_queue(), [done, answer] { done(answer); });
    });
}

std::uint16_t DdcMonitor::rawFor(double brightness) const {
    const double scaled = std::round(std::clamp(brightness, 0.0, 1.0) * maximum_);
    return static_cast<std::uint16_t>(scaled);
}

void DdcMonitor::request(double brightness) {
    if (std::isnan(brightness))
        return;
    {
        std::lock_guard lock(mutex_);
        wanted_ = brightness;
        if (!maximum_ || flushPending_)
            return;  // the pending flush takes the newest value
        flushPending_ = true;
        failedWrites_ = 0;
    }
    scheduleFlush(CFAbsoluteTimeGetCurrent());
}

void DdcMonitor::scheduleFlush(double when) {
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    const auto start =
        dispatch_time(DISPATCH_TIME_NOW, std::llround((when - CFAbsoluteTimeGetCurrent()) * 1e9));
    dispatch_after(start, queue_, [weak] {
        if (auto self = weak.lock())
            self->flush();
    });
}

void DdcMonitor::flush() {
    std::uint16_t value = 0;
    double started = 0;
    {
        std::lock_guard lock(mutex_);
        value = rawFor(*wanted_);
        if (known_ == value) {
            flushPending_ = false;
            return;
        }
        started = CFAbsoluteTimeGetCurrent();
        if (started < lastWrite_ + kWriteIntervalSeconds) {
            scheduleFlush(lastWrite_ + kWriteIntervalSeconds);
            return;
        }
        lastWrite_ = started;
    }
    const IOReturn status = link_->writeLuminance(value);
    std::lock_guard lock(mutex_);
    if (status == kIOReturnSuccess) {
        known_ = value;
        sent_ = value;
        failedWrites_ = 0;
    } else if (++failedWrites_ == 1) {
        char line[160];
        std::snprintf(line, sizeof line, "DDC/CI monitor %s: IOAVServiceWriteI2C error 0x%x",
                      name_.c_str(), static_cast<unsigned>(status));
        reportOnMain(line);
    }
    if (rawFor(*wanted_) != known_ && failedWrites_ < kWriteTries)
        scheduleFlush(lastWrite_ + kWriteIntervalSeconds);
    else
        flushPending_ = false;
}

std::optional<double> DdcMonitor::brightness() {
    std::optional<double> value;
    {
        std::lock_guard lock(mutex_);
        if (!known_ || !maximum_)
            return std::nullopt;
        value = static_cast<double>(*known_) / maximum_;
        if (refreshPending_ || flushPending_ ||
            CFAbsoluteTimeGetCurrent() < lastRead_ + kRefreshAfterSeconds)
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
    if (!sent_ || !known_ || !maximum_ || *known_ == *sent_ || flushPending_)
        return std::nullopt;
    return static_cast<double>(*known_) / maximum_;
}

void DdcMonitor::switchOffLightSensor() {
    std::weak_ptr<DdcMonitor> weak = weak_from_this();
    dispatch_async(queue_, [weak] {
        auto self = weak.lock();
        if (!self || self->sensorSwitchedOff_)
            return;
        std::string why;
        const auto sensor = self->link_->readFeature(ddc::kAmbientLightSensor, &why);
        if (!sensor || sensor->current != ddc::kSensorEnabled)
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
    dispatch_async(queue_, [done = std::move(done)] {
        dispatch_async(dispatch_get_main_queue(), done);
    });
}

void DdcMonitor::refresh() {
    std::string why;
    const auto value = link_->readLuminance(&why);
    std::lock_guard lock(mutex_);
    refreshPending_ = false;
    lastRead_ = CFAbsoluteTimeGetCurrent();
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
