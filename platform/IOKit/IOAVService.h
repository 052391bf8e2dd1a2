// AV services: the I2C channel of a display's video link (DisplayPort AUX or
// HDMI/DVI DDC), through which a display answers DDC/CI, VESA's Display Data
// Channel Command Interface. Each service is an IOKit service of class
// "DCPAVServiceProxy"; its "Location" property is "External" for a display on
// a port and "Embedded" for the built-in panel. Services come and go with the
// displays (matching notifications, IONotificationPort.h).
//
// The I2C calls block their thread for as long as the bus takes: make them on
// a queue of their own (dispatch/DispatchQueue.h), never on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/CFBase.h"
#include "base/IOKitTypes.h"
#include "machine/AVServiceBackend.h"

inline constexpr const char* kIOAVServiceClassName = "DCPAVServiceProxy";
inline constexpr const char* kIOAVServiceLocationKey = "Location";
inline constexpr const char* kIOAVServiceLocationExternal = "External";
inline constexpr const char* kIOAVServiceLocationEmbedded = "Embedded";

using IOAVServiceRef = std::shared_ptr<platform::AVServiceChannel>;

// The service's channel; null for a service that is not an AV service or is gone.
IOAVServiceRef IOAVServiceCreateWithService(CFAllocatorRef allocator, io_service_t service);
// The display's EDID (the bytes of a CFData on the original platform).
IOReturn IOAVServiceCopyEDID(const IOAVServiceRef& service, std::vector<std::uint8_t>* edid);
// Reads `outputBufferSize` bytes from the 7-bit I2C address `chipAddress`.
// `offset` selects a register on devices that have them; a plain read (as
// DDC/CI replies are read) sends none.
IOReturn IOAVServiceReadI2C(const IOAVServiceRef& service, std::uint32_t chipAddress,
                            std::uint32_t offset, void* outputBuffer,
                            std::uint32_t outputBufferSize);
// Writes to `chipAddress`: `dataAddress` goes on the bus first, then the buffer.
IOReturn IOAVServiceWriteI2C(const IOAVServiceRef& service, std::uint32_t chipAddress,
                             std::uint32_t dataAddress, void* inputBuffer,
                             std::uint32_t inputBufferSize);

namespace platform {

// Not a call of the original platform, which serialises a display's I2C
// traffic itself: on Linux other programs (ddcutil, the desktop's own
// brightness service) use the same bus, and a request and its reply must not
// be interleaved with theirs. Held while it lives; `held()` is false when
// another program kept the bus too long, and the exchange should not start.
class AVServiceBusLock {
  public:
    explicit AVServiceBusLock(IOAVServiceRef service);
    ~AVServiceBusLock();
    AVServiceBusLock(const AVServiceBusLock&) = delete;
    AVServiceBusLock& operator=(const AVServiceBusLock&) = delete;
    IOReturn status() const { return status_; }
    bool held() const { return status_ == kIOReturnSuccess; }

  private:
    IOAVServiceRef service_;
    IOReturn status_ = kIOReturnBadArgument;
};

// Not a call of the original platform either, whose services hold no device
// open: on Linux the bus's device node is let go until the next transfer,
// so that a session that is not at the screen keeps no device open.
void closeAVService(const IOAVServiceRef& service);

// Nor these, which the original platform has no need of: whether the
// display's output is lit (a monitor whose output is off or asleep is not
// to be woken by questions), and where its messages go, for log lines.
AVOutputState avServiceOutputState(const IOAVServiceRef& service);
std::string describeAVServiceBus(const IOAVServiceRef& service);

}  // namespace platform
