// The brightness of the attached monitors: the Apple USB monitors, each in
// the field it declares (MonitorBrightnessField.h), and the monitors driven
// over DDC/CI (DdcMonitors.h). Any display that is not the built-in one
// stands for the whole set of monitors.
#include <utility>
#include <vector>

#include "IOKit/hid/IOHIDDevice.h"
#include "engine/BrightnessController.h"
#include "engine/DdcMonitors.h"
#include "engine/MonitorBrightnessField.h"

using duolume::MonitorBrightnessField;

MonitorBrightnessField BrightnessController::monitorField(IOHIDDeviceRef device) const {
    auto it = monitorFields_.find(device);
    return it == monitorFields_.end() ? duolume::kFixedBrightnessField : it->second;
}

double BrightnessController::getMonitorBrightness() {
    // Every monitor is asked; the last one that answers gives the result.
    float cell = 0.0f;
    for (IOHIDDeviceRef device : externalMonitorDeviceRefs) {
        const MonitorBrightnessField field = monitorField(device);
        std::vector<std::uint8_t> payload(static_cast<std::size_t>(field.reportLength), 0);
        CFIndex length = field.reportLength;
        IOReturn status = IOHIDDeviceGetReport(device, kIOHIDReportTypeFeature, field.reportID,
                                               payload.data(), &length);
        // A monitor that fails to answer (or answers too short, or out of its
        // range) has no defined brightness and contributes nothing.
        if (status != kIOReturnSuccess)
            continue;
        if (auto read = duolume::brightnessForPayload(field, payload.data(), length))
            cell = *read;
    }
    // DDC/CI monitors answer from what they were last told or said.
    if (auto read = ddcMonitors_->brightness())
        cell = static_cast<float>(*read);
    return cell;
}

void BrightnessController::setMonitorBrightness(double brightness) {
    // Never waits: each DDC/CI monitor's own writer sends what it needs.
    ddcMonitors_->setBrightness(brightness);
    if (externalMonitorDeviceRefs.empty())
        return;
    // The payload is computed once for each kind of field, not per monitor.
    std::vector<std::pair<MonitorBrightnessField, std::vector<std::uint8_t>>> payloads;
    // Statuses are not consulted: a monitor that fails keeps its brightness
    // and the others are still written.
    for (IOHIDDeviceRef device : externalMonitorDeviceRefs) {
        const MonitorBrightnessField field = monitorField(device);
        auto known = payloads.begin();
        while (known != payloads.end() && !(known->first == field))
            ++known;
        if (known == payloads.end()) {
            auto payload = duolume::payloadForBrightness(field, brightness);
            if (!payload)
                return;  // not a number: nothing is sent
            known = payloads.insert(payloads.end(), {field, std::move(*payload)});
        }
        const IOReturn status =
            IOHIDDeviceSetReport(device, kIOHIDReportTypeFeature, field.reportID,
                                 known->second.data(), static_cast<CFIndex>(known->second.size()));
        // The write's own outcome only tells what the monitor holds now, to
        // notice someone else's change later; the other monitors go on alike.
        const auto raw = duolume::rawForPayload(field, known->second.data(),
                                                static_cast<long>(known->second.size()));
        if (status == kIOReturnSuccess && raw)
            monitorWrites_[device] = *raw;
        else
            monitorWrites_.erase(device);
    }
}
