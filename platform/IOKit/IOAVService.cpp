#include "IOKit/IOAVService.h"

#include <cstdio>
#include <string>

#include "base/HexText.h"
#include "machine/Machine.h"

namespace {

using platform::hexText;

std::string hexBytes(const void* buffer, std::uint32_t size) {
    std::string text = "[";
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    for (std::uint32_t i = 0; bytes && i < size; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", bytes[i]);
        text += byte;
    }
    return text + "]";
}

}  // namespace

IOAVServiceRef IOAVServiceCreateWithService(CFAllocatorRef, io_service_t service) {
    auto& m = platform::Machine::current();
    m.recordCall("IOAVServiceCreateWithService(" + std::to_string(service) + ")");
    return m.avServices().channel(service);
}

IOReturn IOAVServiceCopyEDID(const IOAVServiceRef& service, std::vector<std::uint8_t>* edid) {
    platform::Machine::current().recordCall("IOAVServiceCopyEDID()");
    if (!service || !edid)
        return kIOReturnBadArgument;
    return service->copyEDID(edid);
}

IOReturn IOAVServiceReadI2C(const IOAVServiceRef& service, std::uint32_t chipAddress,
                            std::uint32_t offset, void* outputBuffer,
                            std::uint32_t outputBufferSize) {
    platform::Machine::current().recordCall("IOAVServiceReadI2C(" + hexText(chipAddress) + ", " +
                                            hexText(offset) + ", " +
                                            std::to_string(outputBufferSize) + ")");
    if (!service || (!outputBuffer && outputBufferSize))
        return kIOReturnBadArgument;
    return service->readI2C(chipAddress, offset, static_cast<std::uint8_t*>(outputBuffer),
                            outputBufferSize);
}

IOReturn IOAVServiceWriteI2C(const IOAVServiceRef& service, std::uint32_t chipAddress,
                             std::uint32_t dataAddress, void* inputBuffer,
                             std::uint32_t inputBufferSize) {
    platform::Machine::current().recordCall("IOAVServiceWriteI2C(" + hexText(chipAddress) + ", " +
                                            hexText(dataAddress) + ", " +
                                            hexBytes(inputBuffer, inputBufferSize) + ")");
    if (!service || (!inputBuffer && inputBufferSize))
        return kIOReturnBadArgument;
    return service->writeI2C(chipAddress, dataAddress, static_cast<std::uint8_t*>(inputBuffer),
                             inputBufferSize);
}

namespace platform {

AVServiceBusLock::AVServiceBusLock(IOAVServiceRef service) : service_(std::move(service)) {
    if (service_)
        status_ = service_->lockBus();
}

AVServiceBusLock::~AVServiceBusLock() {
    if (held())
        service_->unlockBus();
}

void closeAVService(const IOAVServiceRef& service) {
    if (service)
        service->close();
}

AVOutputState avServiceOutputState(const IOAVServiceRef& service) {
    return service ? service->outputState() : AVOutputState::Unknown;
}

std::string describeAVServiceBus(const IOAVServiceRef& service) {
    return service ? service->describeBus() : std::string();
}

}  // namespace platform
