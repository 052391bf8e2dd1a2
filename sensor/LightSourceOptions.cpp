#include "sensor/LightSourceOptions.h"

#include <algorithm>
#include <cmath>

#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace duolume {
namespace {

constexpr double kDimRoom = 0.01;
constexpr double kOrdinaryRoom = 0.02;
constexpr double kBrightRoom = 0.05;

}  // namespace

double daylightShareForRoom(double roomBrightness) {
    if (!std::isfinite(roomBrightness))
        return kOrdinaryRoom;
    const double r = std::clamp(roomBrightness, -1.0, 1.0);
    // Evenly between the shares on a logarithmic scale, as light is seen.
    const double other = r < 0 ? kDimRoom : kBrightRoom;
    return kOrdinaryRoom * std::pow(other / kOrdinaryRoom, std::fabs(r));
}

platform::LightEstimateOptions lightEstimateOptions(const std::optional<NSDictionary>& settings) {
    platform::LightEstimateOptions options;
    options.daylightShare = daylightShareForRoom(settingsDouble(settings, kRoomBrightnessKey));
    options.preferEstimate = settingsBool(settings, kSunEstimateForcedKey);
    options.locationAppId = DesktopFileId;
    return options;
}

void applyLightSourceSettings() {
    platform::setLightEstimateOptions(lightEstimateOptions(fetchSettings()));
}

}  // namespace duolume
