// The brightness of the attached Apple USB monitors. Any display that is not
// the built-in one stands for the whole set of monitors.
#include "IOKit/hid/IOHIDDevice.h"
#include "engine/BrightnessController.h"
#include "engine/MonitorBrightnessReport.h"

using duolume::kMonitorBrightnessReportID;
using duolume::kMonitorBrightnessReportLength;

double BrightnessController::getMonitorBrightness() {
    // Every monitor is asked; the last one that answers gives the result.
    float cell = 0.0f;
    for (IOHIDDeviceRef device : externalMonitorDeviceRefs) {
        duolume::MonitorBrightnessPayload payload{};
        CFIndex length = kMonitorBrightnessReportLength;
        IOReturn status = IOHIDDeviceGetReport(device, kIOHIDReportTypeFeature,
                                               kMonitorBrightnessReportID, payload.data(), &length);
        // A monitor that fails to answer (or answers short) has no defined
        // payload and contributes nothing.
        if (status != kIOReturnSuccess || length < kMonitorBrightnessReportLength)
            continue;
        cell = duolume::monitorBrightnessForPayload(payload);
    }
    return cell;
}

void BrightnessController::setMonitorBrightness(double brightness) {
    if (externalMonitorDeviceRefs.empty())
        return;
    auto payload = duolume::monitorPayloadForBrightness(brightness);
    if (!payload)
        return;
    // Statuses are not consulted: a monitor that fails keeps its brightness
    // and the others are still written.
    for (IOHIDDeviceRef device : externalMonitorDeviceRefs) {
        IOHIDDeviceSetReport(device, kIOHIDReportTypeFeature, kMonitorBrightnessReportID,
                             payload->data(), kMonitorBrightnessReportLength);
    }
}
