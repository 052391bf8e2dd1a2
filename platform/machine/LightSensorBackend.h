// What a machine provides for the ambient light sensor: the sensor's HID
// service client (reading events of type 12) and the "AppleLMUController"
// service (open, scalar method 0 with two outputs, general-interest messages).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/IOKitTypes.h"
#include "machine/HardwareFindings.h"
#include "machine/LightEstimate.h"

namespace platform {

class LightSensorBackend {
  public:
    virtual ~LightSensorBackend() = default;

    // Service client.
    virtual bool hasServiceClient() = 0;
    // The sensor's current reading (the level field of an ambient light
    // event), read afresh; absent when no event can be had.
    virtual std::optional<double> copyAmbientLightReading() = 0;

    // AppleLMUController. 0 when there is no such service.
    virtual io_service_t lmuService() = 0;
    virtual kern_return_t openService(io_service_t service, std::uint32_t type,
                                      io_connect_t* connect) = 0;
    virtual bool canCreateNotificationPort() = 0;
    // `deliver` is called on the main thread for every general-interest message.
    virtual kern_return_t addInterestNotification(
        io_service_t service, const std::string& interestType,
        std::function<void(std::uint32_t messageType, void* argument)> deliver) = 0;
    virtual kern_return_t callScalarMethod(io_connect_t connect, std::uint32_t selector,
                                           std::uint64_t* outputs, std::uint32_t* outputCount) = 0;

    // For a person: what the service client reads (InUse) and the sources it
    // passed over, in the order it looks at them; empty while it has not been
    // asked for. From what is held: no device or bus is touched.
    virtual std::vector<HardwareFinding> serviceClientFindings() = 0;
    // The controller's sensor: in use, or why not; also from what is held.
    virtual HardwareFinding controllerFinding() = 0;

    // The sun's estimate where no sensor is trusted (LightEstimate.h).
    virtual void setEstimateOptions(const LightEstimateOptions& options) = 0;
    virtual std::optional<LightEstimateInUse> serviceClientEstimate() = 0;
    virtual std::optional<LightEstimateInUse> controllerEstimate() = 0;
    // On the main thread whenever either estimate may have changed.
    virtual int watchEstimate(std::function<void()> handler) = 0;
    virtual void unwatchEstimate(int token) = 0;
};

}  // namespace platform
