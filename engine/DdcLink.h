// One monitor's DDC/CI link: each exchange under the bus lock, with the
// waits and retries ddcutil applies (rockowitz/ddcutil v2.2.7, cited where
// each is used). Used on the monitor's own queue only; every call blocks for
// as long as the monitor takes.
//
// A monitor that needs longer than the standard's 50 ms keeps the wait that
// worked as its own from then on: slow is remembered, not dropped.
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

    // Get VCP Feature for one control: the request, the monitor's wait, the
    // reply, the wait after it; tried again as ddcutil would. On failure,
    // `why` says what went wrong for a log line, and `status()` is the last
    // transfer's status (kIOReturnSuccess when the bus worked and the reply
    // did not).
    std::optional<ddc::VcpValue> readFeature(std::uint8_t code, std::string* why);
    // Set VCP Feature for one control, then the quiet after it with the bus
    // still held; its write tried again while it fails on the bus.
    IOReturn writeFeature(std::uint8_t code, std::uint16_t value);
    std::optional<ddc::VcpValue> readLuminance(std::string* why) {
        return readFeature(ddc::kLuminance, why);
    }
    IOReturn writeLuminance(std::uint16_t value) { return writeFeature(ddc::kLuminance, value); }
    // Lets go of the bus's device until the next exchange.
    void close();

    IOReturn status() const { return status_; }
    // How long this monitor is given to prepare a reply.
    double replyWaitSeconds() const { return replyWait_; }

  private:
    void waitUntilQuiet();
    void keepQuiet(double seconds);
    struct Try;
    Try exchange(std::uint8_t code, double wait);

    IOAVServiceRef service_;
    double quietFrom_ = -std::numeric_limits<double>::infinity();
    double replyWait_ = ddc::kStandardWaitSeconds;
    IOReturn status_ = kIOReturnSuccess;
};

}  // namespace duolume
