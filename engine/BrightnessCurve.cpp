// The sync request: the ambient light level looked up in the user's
// eleven-point curve, one target for the built-in display and one for the
// external monitors, interpolated linearly between whole levels.
#include "engine/BrightnessController.h"
#include "engine/CurveLookup.h"
#include "engine/DdcMonitors.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

void BrightnessController::updateDisplayBrightness(bool smooth) {
    const auto settings = duolume::fetchSettings();
    if (pausedWithoutMonitors(settings, hasExternalMonitors(settings)))
        return;
    applyCurve(AmbientLightSensor::sharedInstance()->getCurrentAmbientLight(), settings, smooth);
}

void BrightnessController::updateDisplayBrightnessForAmbientLight(double level, bool smooth) {
    // A failure marker (or a level that names no points) reads no setting.
    if (!duolume::curveLevelIsUsable(level))
        return;
    const auto settings = duolume::fetchSettings();
    ddcMonitors_->setDriven(duolume::ddcMonitorsWanted(settings));
    applyCurve(level, settings, smooth);
}

void BrightnessController::applyCurve(double level, const std::optional<NSDictionary>& settings,
                                      bool smooth) {
    // curveTargetsAt leaves an unusable level (a failure marker) alone.
    const auto targets = duolume::curveTargetsAt(level, settings);
    if (targets)
        setBrightnessForInternalDisplay(targets->internal, targets->external, smooth);
}

bool BrightnessController::hasExternalMonitors(const std::optional<NSDictionary>& settings) {
    ddcMonitors_->setDriven(duolume::ddcMonitorsWanted(settings));
    return !externalMonitorDeviceRefs.empty() || ddcMonitors_->anyAttached();
}

bool BrightnessController::pausedWithoutMonitors(const std::optional<NSDictionary>& settings,
                                                 bool monitorsAttached) {
    return duolume::settingsBool(settings, duolume::kSingleMonitorDisabledKey) && !monitorsAttached;
}
