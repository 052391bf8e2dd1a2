// The ambient light sensor on Linux: iio-sensor-proxy or IIO sysfs, applesmc.
// TODO(sensor work).
#pragma once

#include "IOKit/LightSensorBackend.h"

namespace platform::linux_machine {

class LinuxLightSensor : public LightSensorBackend {
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

}  // namespace platform::linux_machine
