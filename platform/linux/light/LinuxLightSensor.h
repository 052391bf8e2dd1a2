// The ambient light sensor on Linux, answered from what LinuxLightSources
// holds: no call here touches the bus or a device on the caller's thread.
//
// Service client: the source LinuxLightSources chose (iio-sensor-proxy in
// lux, else an IIO light device). A process that may wait (no window) waits,
// bounded, for the first real answer at its first call, so its first reading
// is the sensor's. A process whose main thread never waits answers at once
// with what is held, like iio-sensor-proxy itself, which answers 0.0 until its
// first poll: the last real reading (0.0 before the first) while a sensor may
// be there but gives nothing yet; otherwise an unreadable or garbled value
// gives no event.
//
// AppleLMUController: the Apple SMC driver's "light" attribute, whose two
// 8-bit values, on the controller's scale (SMCLightScale.h), are the outputs
// of scalar method 0. The sources read it once a second; a changed value
// sends a general-interest message on the main thread's run loop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "linux/light/LinuxLightSources.h"
#include "machine/LightSensorBackend.h"

namespace platform::linux_machine {

class LinuxLightSensor : public LightSensorBackend {
  public:
    LinuxLightSensor();
    // Releases the proxy's claim and ends the sources' thread.
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

    std::vector<HardwareFinding> serviceClientFindings() override;
    HardwareFinding controllerFinding() override;

    void setEstimateOptions(const LightEstimateOptions& options) override;
    std::optional<LightEstimateInUse> serviceClientEstimate() override;
    std::optional<LightEstimateInUse> controllerEstimate() override;
    int watchEstimate(std::function<void()> handler) override;
    void unwatchEstimate(int token) override;

  private:
    struct MainSide;
    // What the service client's sources hold (followed from the first call
    // on), after the bounded wait for their first answer when `wait`.
    HeldServiceClient heldServiceClient(bool wait);

    std::shared_ptr<MainSide> main_;
    bool smcOpened_ = false;
};

}  // namespace platform::linux_machine
