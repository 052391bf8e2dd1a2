#include "engine/DdcLink.h"

#include <cstdio>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSProcessInfo.h"

namespace duolume {
namespace {

std::string statusText(const char* what, IOReturn status) {
    char text[96];
    std::snprintf(text, sizeof text, "%s error 0x%x", what, static_cast<unsigned>(status));
    return text;
}

}  // namespace

void DdcLink::waitUntilQuiet() {
    const double wait = quietFrom_ - CFAbsoluteTimeGetCurrent();
    if (wait > 0)
        platform::usleep(static_cast<std::uint32_t>(wait * 1e6 + 0.5));
}

std::optional<ddc::VcpValue> DdcLink::readFeature(std::uint8_t code, std::string* why) {
    waitUntilQuiet();
    platform::AVServiceBusLock lock(service_);
    if (!lock.held()) {
        *why = statusText("bus lock", lock.status());
        return std::nullopt;
    }
    auto request = ddc::getVcpRequest(code);
    IOReturn status =
        IOAVServiceWriteI2C(service_, ddc::kMonitorAddress, ddc::kHostSourceAddress, request.data(),
                            static_cast<std::uint32_t>(request.size()));
    if (status != kIOReturnSuccess) {
        *why = statusText("IOAVServiceWriteI2C", status);
        return std::nullopt;
    }
    platform::usleep(ddc::kReplyDelayMicroseconds);
    std::vector<std::uint8_t> reply(ddc::kGetVcpReplyLength);
    status = IOAVServiceReadI2C(service_, ddc::kMonitorAddress, 0, reply.data(),
                                static_cast<std::uint32_t>(reply.size()));
    if (status != kIOReturnSuccess) {
        *why = statusText("IOAVServiceReadI2C", status);
        return std::nullopt;
    }
    auto parsed = ddc::parseGetVcpReply(reply, code);
    if (!parsed.value)
        *why = "its reply was unusable (" + parsed.fault + ")";
    return parsed.value;
}

IOReturn DdcLink::writeFeature(std::uint8_t code, std::uint16_t value) {
    waitUntilQuiet();
    platform::AVServiceBusLock lock(service_);
    if (!lock.held())
        return lock.status();
    auto request = ddc::setVcpRequest(code, value);
    const IOReturn status =
        IOAVServiceWriteI2C(service_, ddc::kMonitorAddress, ddc::kHostSourceAddress, request.data(),
                            static_cast<std::uint32_t>(request.size()));
    // The quiet is kept with the bus held, so that no other program's
    // message reaches the monitor within it either.
    quietFrom_ = CFAbsoluteTimeGetCurrent() + ddc::kQuietAfterSetSeconds;
    waitUntilQuiet();
    return status;
}

void DdcLink::close() {
    platform::closeAVService(service_);
}

}  // namespace duolume
