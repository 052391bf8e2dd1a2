// The ambient light sensor on the simulated machine: a scriptable HID service
// client and a scriptable "AppleLMUController" service whose interest
// messages a test delivers. Messages reach their handlers through the
// notification port's run-loop source, so they honour run-loop modes.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "IOKit/IONotificationPort.h"
#include "machine/LightSensorBackend.h"

namespace platform::sim {

class SimLightSensor : public LightSensorBackend {
  public:
    // --- Service client ---
    // Whether the machine has the sensor's service client at all.
    bool serviceClientPresent = false;
    // The reading every event carries; absent: no event can be had.
    std::optional<double> reading;
    // Readings for the next event copies, one per copy, before `reading`
    // applies again (an absent entry: that copy gives no event).
    std::deque<std::optional<double>> nextReadings;
    // How many events were asked for.
    int eventCopies = 0;

    // --- AppleLMUController ---
    bool controllerPresent = false;
    io_service_t controllerService = 0x2403;
    kern_return_t openStatus = kIOReturnSuccess;
    // The handle an open gives (0: an open that "succeeds" without a handle).
    io_connect_t openedConnection = 0x7107;
    bool notificationPortAvailable = true;
    kern_return_t interestStatus = kIOReturnSuccess;
    // Scalar method 0.
    kern_return_t scalarStatus = kIOReturnSuccess;
    std::uint64_t outputs[2] = {0, 0};
    int scalarCalls = 0;

    // Sends a message of the controller service to every registration for
    // its interest type (general interest unless said otherwise).
    void deliverInterestMessage(natural_t messageType = kIOMessageServicePropertyChange,
                                const std::string& interestType = kIOGeneralInterest);
    std::size_t interestRegistrations() const { return registrations_.size(); }

    // --- Findings ---
    // What the service client and the controller report of themselves; unless
    // set, told from the fields above (a present client: in use, or unreadable
    // without a reading; a controller: in use, or why its open fails).
    std::optional<std::vector<HardwareFinding>> scriptedServiceClientFindings;
    std::optional<HardwareFinding> scriptedControllerFinding;

    // --- The sun's estimate ---
    // What the product last set, and how often.
    LightEstimateOptions estimateOptions;
    int estimateOptionsSet = 0;
    // What each kind reports as the estimate in use (absent: a sensor is read).
    std::optional<LightEstimateInUse> serviceClientEstimateInUse;
    std::optional<LightEstimateInUse> controllerEstimateInUse;
    // Sets the service client's estimate and tells the watchers, as the
    // machine's light sources do when they change where the light comes from.
    void changeServiceClientEstimate(std::optional<LightEstimateInUse> estimate) {
        serviceClientEstimateInUse = std::move(estimate);
        auto watchers = estimateWatchers_;
        for (auto& [token, handler] : watchers)
            handler();
    }

    // LightSensorBackend
    bool hasServiceClient() override { return serviceClientPresent; }
    std::optional<double> copyAmbientLightReading() override;
    io_service_t lmuService() override { return controllerPresent ? controllerService : 0; }
    kern_return_t openService(io_service_t service, std::uint32_t type,
                              io_connect_t* connect) override;
    bool canCreateNotificationPort() override { return notificationPortAvailable; }
    kern_return_t addInterestNotification(
        io_service_t service, const std::string& interestType,
        std::function<void(std::uint32_t, void*)> deliver) override;
    kern_return_t callScalarMethod(io_connect_t connect, std::uint32_t selector,
                                   std::uint64_t* outputs, std::uint32_t* outputCount) override;
    std::vector<HardwareFinding> serviceClientFindings() override;
    HardwareFinding controllerFinding() override;
    void setEstimateOptions(const LightEstimateOptions& options) override {
        estimateOptions = options;
        ++estimateOptionsSet;
    }
    std::optional<LightEstimateInUse> serviceClientEstimate() override {
        return serviceClientEstimateInUse;
    }
    std::optional<LightEstimateInUse> controllerEstimate() override {
        return controllerEstimateInUse;
    }
    int watchEstimate(std::function<void()> handler) override {
        estimateWatchers_.emplace_back(++lastWatch_, std::move(handler));
        return lastWatch_;
    }
    void unwatchEstimate(int token) override {
        std::erase_if(estimateWatchers_, [token](const auto& w) { return w.first == token; });
    }

  private:
    struct Registration {
        std::string interestType;
        std::function<void(std::uint32_t, void*)> deliver;
    };
    std::vector<Registration> registrations_;
    bool opened_ = false;
    std::vector<std::pair<int, std::function<void()>>> estimateWatchers_;
    int lastWatch_ = 0;
};

}  // namespace platform::sim
