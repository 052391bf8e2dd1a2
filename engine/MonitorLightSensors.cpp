// The monitors' own ambient light sensors: a monitor that follows the light
// by itself moves its brightness behind the engine's back, so while the
// engine keeps the monitors on the curve their sensors are switched off (1),
// and those it found on (2) are put back when it lets them go. On USB
// monitors the control is the VESA Virtual Controls usage 0x66 (IOHIDUsageTables.h),
// on DDC/CI monitors MCCS control 0x66 (DdcCiMessages.h).
#include <vector>

#include "Foundation/NSLog.h"
#include "IOKit/hid/IOHIDUsageTables.h"
#include "engine/BrightnessController.h"
#include "engine/DdcMonitors.h"

namespace {

constexpr std::int64_t kSensorOff = 1;
constexpr std::int64_t kSensorOn = 2;

}  // namespace

void BrightnessController::takeOverMonitorLightSensors(bool takenOver) {
    if (takenOver == lightSensorsTakenOver_)
        return;
    lightSensorsTakenOver_ = takenOver;
    for (IOHIDDeviceRef device : externalMonitorDeviceRefs)
        switchMonitorLightSensor(device, takenOver);
    ddcMonitors_->takeOverLightSensors(takenOver);
}

void BrightnessController::switchMonitorLightSensor(IOHIDDeviceRef device, bool off) {
    if (!off && !sensorsSwitchedOff_.count(device))
        return;  // left as it was found
    const auto field =
        duolume::featureUsageField(IOHIDDeviceCopyMatchingElements(device, nullptr, 0),
                                   kHIDPage_MonitorVirtual, kHIDUsage_VESA_AmbientLightSensor);
    if (!field || field->minimum > kSensorOff || field->maximum < kSensorOn)
        return;
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(field->reportLength), 0);
    CFIndex length = field->reportLength;
    if (off) {
        if (IOHIDDeviceGetReport(device, kIOHIDReportTypeFeature, field->reportID, payload.data(),
                                 &length) != kIOReturnSuccess ||
            duolume::rawForPayload(*field, payload.data(), length) != kSensorOn)
            return;  // off already, or it does not say
    }
    payload = duolume::payloadForRaw(*field, off ? kSensorOff : kSensorOn);
    if (IOHIDDeviceSetReport(device, kIOHIDReportTypeFeature, field->reportID, payload.data(),
                             static_cast<CFIndex>(payload.size())) != kIOReturnSuccess)
        return;
    if (off)
        sensorsSwitchedOff_.insert(device);
    else
        sensorsSwitchedOff_.erase(device);
    NSLog("USB monitor %s: its own light sensor %s", device->description().c_str(),
          off ? "switched off while Duolume drives it" : "back on");
}

void BrightnessController::afterMonitorExchanges(std::function<void()> done) {
    ddcMonitors_->afterPendingExchanges(std::move(done));
}

void BrightnessController::closeMonitors() {
    for (IOHIDDeviceRef device : externalMonitorDeviceRefs)
        IOHIDDeviceClose(device, kIOHIDOptionsTypeNone);
    ddcMonitors_->close();
}
