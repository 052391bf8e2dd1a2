#include "engine/DdcLink.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSProcessInfo.h"

namespace duolume {
namespace {

// How often a Get and a Set are tried (src/base/parms.h,
// INITIAL_MAX_WRITE_READ_EXCHANGE_TRIES and
// INITIAL_MAX_WRITE_ONLY_EXCHANGE_TRIES).
constexpr int kReadTries = 10;
constexpr int kWriteTries = 4;
// The wait grows with each failed try, by the multipliers of ddcutil's
// dynamic sleep from its starting step (1.0) up (src/base/dsa2.c, steps[]);
// after null replies it grows by 25, 100, then 200 ms more
// (src/base/tuned_sleep.c, adjust_sleep_time).
constexpr double kMultipliers[] = {1.0, 1.3, 1.6, 2.0};
constexpr double kNullAdjustments[] = {0.0, 0.025, 0.100, 0.200};
// A monitor's own wait never grows past this.
constexpr double kLongestReplyWait = 0.5;

std::string statusText(const char* what, IOReturn status) {
    char text[96];
    std::snprintf(text, sizeof text, "%s error 0x%x", what, static_cast<unsigned>(status));
    return text;
}

// Which failures of a transfer are worth another try, as ddcutil decides
// (src/ddc/ddc_packet_io.c, ddc_write_read_with_retry and
// ddc_write_only_with_retry): not EBUSY (a kernel driver owns the address),
// ENXIO (nobody acknowledges it) or EIO; not a bus that is gone or not ours.
bool worthRetrying(IOReturn status) {
    switch (status) {
        case kIOReturnBusy:
        case kIOReturnNotResponding:
        case kIOReturnIOError:
        case kIOReturnNoDevice:
        case kIOReturnNotAttached:
        case kIOReturnNotPermitted:
        case kIOReturnBadArgument:
            return false;
        default:
            return true;
    }
}

}  // namespace

struct DdcLink::Try {
    std::optional<ddc::VcpValue> value;
    std::string why;
    bool again = false;
    bool null = false;
    bool read = false;  // a read was made
};

void DdcLink::waitUntilQuiet() {
    const double wait = quietFrom_ - CFAbsoluteTimeGetCurrent();
    if (wait > 0)
        platform::usleep(static_cast<std::uint32_t>(wait * 1e6 + 0.5));
}

void DdcLink::keepQuiet(double seconds) {
    quietFrom_ = CFAbsoluteTimeGetCurrent() + seconds;
    waitUntilQuiet();
}

DdcLink::Try DdcLink::exchange(std::uint8_t code, double wait) {
    Try t;
    auto request = ddc::getVcpRequest(code);
    status_ = IOAVServiceWriteI2C(service_, ddc::kMonitorAddress, ddc::kHostSourceAddress,
                                  request.data(), static_cast<std::uint32_t>(request.size()));
    if (status_ != kIOReturnSuccess) {
        t.why = statusText("IOAVServiceWriteI2C", status_);
        t.again = worthRetrying(status_);
        return t;
    }
    platform::usleep(static_cast<std::uint32_t>(wait * 1e6 + 0.5));
    std::vector<std::uint8_t> reply(ddc::kGetVcpReplyReadLength);
    t.read = true;
    status_ = IOAVServiceReadI2C(service_, ddc::kMonitorAddress, 0, reply.data(),
                                 static_cast<std::uint32_t>(reply.size()));
    if (status_ != kIOReturnSuccess) {
        t.why = statusText("IOAVServiceReadI2C", status_);
        t.again = worthRetrying(status_);
        return t;
    }
    auto parsed = ddc::parseGetVcpReply(reply, code);
    t.value = parsed.value;
    if (!t.value) {
        t.why = "its reply was unusable (" + parsed.fault + ")";
        t.again = parsed.worthRetrying();
        t.null = parsed.fault == "null message";
    }
    return t;
}

std::optional<ddc::VcpValue> DdcLink::readFeature(std::uint8_t code, std::string* why) {
    waitUntilQuiet();
    platform::AVServiceBusLock lock(service_);
    if (!lock.held()) {
        status_ = lock.status();
        *why = statusText("bus lock", lock.status());
        return std::nullopt;
    }
    int nulls = 0;
    for (int attempt = 0; attempt < kReadTries; ++attempt) {
        const double multiplier = kMultipliers[std::min<std::size_t>(attempt, 3)];
        const double adjustment = kNullAdjustments[std::min(nulls, 3)];
        const double wait = replyWait_ * multiplier + adjustment;
        Try t = exchange(code, wait);
        // After every read the monitor is left alone for a while too
        // (SE_POST_READ), whatever the read gave, with the bus held so that
        // nobody else's message reaches it meanwhile.
        if (t.read)
            keepQuiet(std::max(ddc::kStandardWaitSeconds, replyWait_) + adjustment);
        if (t.value) {
            if (attempt > 0)
                replyWait_ = std::min(std::max(replyWait_, wait), kLongestReplyWait);
            return t.value;
        }
        *why = t.why;
        nulls += t.null ? 1 : 0;
        if (!t.again)
            break;
    }
    return std::nullopt;
}

IOReturn DdcLink::writeFeature(std::uint8_t code, std::uint16_t value) {
    waitUntilQuiet();
    platform::AVServiceBusLock lock(service_);
    if (!lock.held())
        return status_ = lock.status();
    auto request = ddc::setVcpRequest(code, value);
    for (int attempt = 0; attempt < kWriteTries; ++attempt) {
        status_ = IOAVServiceWriteI2C(service_, ddc::kMonitorAddress, ddc::kHostSourceAddress,
                                      request.data(), static_cast<std::uint32_t>(request.size()));
        // The quiet (SE_POST_WRITE, never shorter than the standard's) is
        // kept with the bus held, so that no other program's message reaches
        // the monitor within it either.
        keepQuiet(std::max(ddc::kStandardWaitSeconds, replyWait_));
        if (status_ == kIOReturnSuccess || !worthRetrying(status_))
            break;
    }
    return status_;
}

void DdcLink::close() {
    platform::closeAVService(service_);
}

}  // namespace duolume
