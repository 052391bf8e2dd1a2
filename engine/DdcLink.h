// One monitor's DDC/CI link: each exchange under the bus lock, with the
// pauses the standard asks for (DdcCiMessages.h). Used on the monitor's own
// queue only; every call blocks for as long as the monitor takes.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "IOKit/IOAVService.h"
#include "engine/DdcCiMessages.h"

namespace duolume {

class DdcLink {
  public:
    explicit DdcLink(IOAVServiceRef service) : service_(std::move(service)) {}

    // Get VCP Feature for one control: the request, 40 ms, the reply. On
    // failure, `why` says what went wrong for a log line.
    std::optional<ddc::VcpValue> readFeature(std::uint8_t code, std::string* why);
    // Set VCP Feature for one control, then 50 ms of quiet with the bus
    // still held.
    IOReturn writeFeature(std::uint8_t code, std::uint16_t value);
    std::optional<ddc::VcpValue> readLuminance(std::string* why) {
        return readFeature(ddc::kLuminance, why);
    }
    IOReturn writeLuminance(std::uint16_t value) { return writeFeature(ddc::kLuminance, value); }
    // Lets go of the bus's device until the next exchange.
    void close();

  private:
    void waitUntilQuiet();

    IOAVServiceRef service_;
    double quietFrom_ = -std::numeric_limits<double>::infinity();
};

}  // namespace duolume
