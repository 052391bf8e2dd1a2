// What someone other than the engine did to the displays since it last wrote
// them: a person's keys or a monitor's own buttons, the desktop's slider, a
// monitor's own light sensor. Only a reading that the engine's last write
// does not explain counts.
#include <vector>

#include "CoreGraphics/CGDirectDisplay.h"
#include "DisplayServices/DisplayServices.h"
#include "engine/BrightnessController.h"
#include "engine/DdcMonitors.h"

BrightnessController::ChangedByOthers BrightnessController::changesByOthers() {
    ChangedByOthers changed;
    CGDirectDisplayID displays[2] = {};
    CGDisplayCount count = 0;
    if (CGGetActiveDisplayList(2, displays, &count) == kCGErrorSuccess) {
        for (CGDisplayCount i = 0; i < count && i < 2; ++i) {
            float cell = 0.0f;
            if (CGDisplayIsBuiltin(displays[i]) && readBuiltinBrightness(displays[i], cell) &&
                !builtinWrites_.explains(cell))
                changed.builtin = cell;
        }
    }
    changed.monitors = monitorsChangedByOthers();
    if (auto ddc = ddcMonitors_->changedByOthers())
        changed.monitors = ddc;
    return changed;
}

std::optional<double> BrightnessController::monitorsChangedByOthers() {
    std::optional<double> changed;
    for (IOHIDDeviceRef device : externalMonitorDeviceRefs) {
        auto written = monitorWrites_.find(device);
        if (written == monitorWrites_.end())
            continue;  // nothing known of what it holds
        const auto field = monitorField(device);
        std::vector<std::uint8_t> payload(static_cast<std::size_t>(field.reportLength), 0);
        CFIndex length = field.reportLength;
        if (IOHIDDeviceGetReport(device, kIOHIDReportTypeFeature, field.reportID, payload.data(),
                                 &length) != kIOReturnSuccess)
            continue;
        const auto raw = duolume::rawForPayload(field, payload.data(), length);
        if (raw && *raw != written->second)
            changed = duolume::brightnessForPayload(field, payload.data(), length);
    }
    return changed;
}

namespace {

// The identifier the engine registers under; one registration per process.
constexpr CGDirectDisplayID kChangeObserver = 0x4475;

}  // namespace

bool BrightnessController::observeChangesByOthers(std::function<void()> handler) {
    if (!DisplayServicesRegisterForBrightnessChangeNotifications)
        return false;
    CGDirectDisplayID displays[2] = {};
    CGDisplayCount count = 0;
    if (CGGetActiveDisplayList(2, displays, &count) != kCGErrorSuccess)
        return false;
    for (CGDisplayCount i = 0; i < count && i < 2; ++i) {
        if (!CGDisplayIsBuiltin(displays[i]))
            continue;
        return DisplayServicesRegisterForBrightnessChangeNotifications(
                   displays[i], kChangeObserver,
                   [handler](CGDirectDisplayID, CFDictionaryRef) { handler(); }) == 0;
    }
    return false;
}
