#include "sim/SimLightSensor.h"

namespace platform::sim {

std::optional<double> SimLightSensor::copyAmbientLightReading() {
    ++eventCopies;
    if (!serviceClientPresent)
        return std::nullopt;
    if (!nextReadings.empty()) {
        auto next = nextReadings.front();
        nextReadings.pop_front();
        return next;
    }
    return reading;
}

kern_return_t SimLightSensor::openService(io_service_t service, std::uint32_t type,
                                          io_connect_t* connect) {
    if (!controllerPresent || service != controllerService)
        return kIOReturnNotFound;
    if (type != 0)
        return kIOReturnBadArgument;
    if (openStatus != kIOReturnSuccess)
        return openStatus;
    *connect = openedConnection;
    opened_ = openedConnection != 0;
    return kIOReturnSuccess;
}

kern_return_t SimLightSensor::addInterestNotification(
    io_service_t service, const std::string& interestType,
    std::function<void(std::uint32_t, void*)> deliver) {
    if (!controllerPresent || service != controllerService)
        return kIOReturnBadArgument;
    if (interestStatus != kIOReturnSuccess)
        return interestStatus;
    registrations_.push_back({interestType, std::move(deliver)});
    return kIOReturnSuccess;
}

void SimLightSensor::deliverInterestMessage(natural_t messageType,
                                            const std::string& interestType) {
    auto current = registrations_;  // a handler may register more
    for (auto& r : current)
        if (r.interestType == interestType)
            r.deliver(messageType, nullptr);
}

kern_return_t SimLightSensor::callScalarMethod(io_connect_t connect, std::uint32_t selector,
                                               std::uint64_t* out, std::uint32_t* outputCount) {
    ++scalarCalls;
    if (!opened_ || connect == 0 || connect != openedConnection)
        return kIOReturnNotOpen;
    if (selector != 0)
        return kIOReturnUnsupported;
    if (*outputCount < 2)
        return kIOReturnBadArgument;
    if (scalarStatus != kIOReturnSuccess)
        return scalarStatus;
    out[0] = outputs[0];
    out[1] = outputs[1];
    *outputCount = 2;
    return kIOReturnSuccess;
}

std::vector<HardwareFinding> SimLightSensor::serviceClientFindings() {
    if (scriptedServiceClientFindings)
        return *scriptedServiceClientFindings;
    if (!serviceClientPresent)
        return {{"service client", FindingReason::NotPresent, ""}};
    if (!reading)
        return {{"service client", FindingReason::Unreadable, ""}};
    return {{"service client", FindingReason::InUse, std::to_string(*reading) + " lux"}};
}

HardwareFinding SimLightSensor::controllerFinding() {
    if (scriptedControllerFinding)
        return *scriptedControllerFinding;
    if (!controllerPresent)
        return {"AppleLMUController", FindingReason::NotPresent, ""};
    if (openStatus == kIOReturnNotPrivileged)
        return {"AppleLMUController", FindingReason::PermissionDenied, ""};
    if (openStatus != kIOReturnSuccess || scalarStatus != kIOReturnSuccess)
        return {"AppleLMUController", FindingReason::Unreadable, ""};
    return {"AppleLMUController", FindingReason::InUse, ""};
}

}  // namespace platform::sim
