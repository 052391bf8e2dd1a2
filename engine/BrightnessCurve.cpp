// The sync request: the ambient light level looked up in the user's
// eleven-point curve, one target for the built-in display and one for the
// external monitors, interpolated linearly between whole levels.
#include <climits>
#include <cmath>

#include "engine/BrightnessController.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

void BrightnessController::updateDisplayBrightness(bool smooth) {
    auto settings = duolume::fetchSettings();
    if (duolume::settingsBool(settings, duolume::kSingleMonitorDisabledKey) &&
        externalMonitorDeviceRefs.empty())
        return;
    double level = AmbientLightSensor::sharedInstance()->getCurrentAmbientLight();
    updateDisplayBrightnessForAmbientLight(level, smooth);
}

void BrightnessController::updateDisplayBrightnessForAmbientLight(double level, bool smooth) {
    // Negative levels are the sensor's failure markers. A level that is not a
    // number, or too large to name a point, finds no points either.
    if (!(level >= 0.0) || level >= static_cast<double>(INT_MAX))
        return;

    const auto settings = duolume::fetchSettings();
    const int lower = static_cast<int>(std::floor(level));
    const int upper = static_cast<int>(std::ceil(level));
    auto point = [&](const std::string& prefix, int index) {
        return duolume::settingsDouble(settings, duolume::curveKeyForLevel(prefix, index));
    };

    // A pair of neighbouring points that are both 0.0 (or absent) stops the request.
    const double internalLower = point(duolume::kInternalPrefix, lower);
    const double internalUpper = point(duolume::kInternalPrefix, upper);
    if (internalLower == 0.0 && internalUpper == 0.0)
        return;
    const double externalLower = point(duolume::kExternalPrefix, lower);
    const double externalUpper = point(duolume::kExternalPrefix, upper);
    if (externalLower == 0.0 && externalUpper == 0.0)
        return;

    const double fraction = level - std::floor(level);
    const double internal = internalLower + fraction * (internalUpper - internalLower);
    const double external = externalLower + fraction * (externalUpper - externalLower);
    setBrightnessForInternalDisplay(internal, external, smooth);
}
