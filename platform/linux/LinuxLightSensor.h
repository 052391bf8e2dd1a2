// The ambient light sensor on Linux.
//
// Service client: iio-sensor-proxy when it runs, has a light sensor and
// reports in lux; otherwise the first IIO device with an illuminance channel
// (also while a just-claimed proxy has not yet announced its first reading).
// Every event reads the value afresh; an unreadable or garbled value gives no
// event, and sensors may come and go between reads.
//
// AppleLMUController: the Apple SMC driver's "light" attribute, whose two
// 8-bit values, on the controller's scale (SMCLightScale.h), are the outputs
// of scalar method 0. It is polled once a second on
// the run loop (in every mode); a changed value sends a general-interest
// message.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "IOKit/LightSensorBackend.h"
#include "linux/AppleSMCLight.h"
#include "linux/SensorProxyClient.h"

namespace platform::linux_machine {

class LinuxLightSensor : public LightSensorBackend {
  public:
    LinuxLightSensor();
    ~LinuxLightSensor() override;

    bool hasServiceClient() override;
    std::optional<double> copyAmbientLightReading() override;

    io_service_t lmuService() override;
    kern_return_t openService(io_service_t service, std::uint32_t type,
                              io_connect_t* connect) override;
    bool canCreateNotificationPort() override { return true; }
    kern_return_t addInterestNotification(
        io_service_t service, const std::string& interestType,
        std::function<void(std::uint32_t, void*)> deliver) override;
    kern_return_t callScalarMethod(io_connect_t connect, std::uint32_t selector,
                                   std::uint64_t* outputs, std::uint32_t* outputCount) override;

  private:
    struct SMCWatch;
    // Where the service client's readings come from now, named for the log.
    struct Source {
        std::string name;  // empty: none
        std::optional<double> lux;
    };
    Source currentSource();
    void noteSource(const Source& source);

    SensorProxyClient proxy_;
    std::string lastSourceName_ = "(not yet looked for)";
    bool lastReadGarbled_ = false;
    bool smcOpened_ = false;
    bool smcPairSeen_ = false;  // the right value has been non-zero
    std::shared_ptr<SMCWatch> smcWatch_;
};

}  // namespace platform::linux_machine
