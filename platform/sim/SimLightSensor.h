// The ambient light sensor on the simulated machine.
// TODO(sensor work): scripted service client, AppleLMUController, messages.
#pragma once

#include "IOKit/LightSensorBackend.h"

namespace platform::sim {

class SimLightSensor : public LightSensorBackend {
public:
    bool hasServiceClient() override { return false; }
    std::optional<double> copyAmbientLightReading() override { return std::nullopt; }
    io_service_t lmuService() override { return 0; }
    kern_return_t openService(io_service_t, std::uint32_t, io_connect_t*) override {
        return kIOReturnNotFound;
    }
    bool canCreateNotificationPort() override { return false; }
    kern_return_t addInterestNotification(io_service_t, const std::string&,
                                          std::function<void(std::uint32_t, void*)>) override {
        return kIOReturnNotFound;
    }
    kern_return_t callScalarMethod(io_connect_t, std::uint32_t, std::uint64_t*, std::uint32_t*) override {
        return kIOReturnNotOpen;
    }
};

}  // namespace platform::sim
