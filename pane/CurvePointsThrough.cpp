#include "pane/CurvePointsThrough.h"

#include <algorithm>

#include "engine/CurveLookup.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace duolume {

std::vector<CurvePoint> curvePointsThrough(const std::optional<NSDictionary>& settings,
                                           const std::string& prefix, double level, double value) {
    level = std::clamp(level, 0.0, static_cast<double>(kCurveLevels - 1));
    value = std::clamp(value, 0.0, 1.0);
    const CurveSpan span = curveSpanAt(level);
    if (span.lower == span.upper)
        return {{span.lower, value}};

    const double lowerNow = settingsDouble(settings, curveKeyForLevel(prefix, span.lower));
    const double upperNow = settingsDouble(settings, curveKeyForLevel(prefix, span.upper));
    auto moved = [](double point, double shift) { return std::clamp(point + shift, 0.0, 1.0); };
    auto lookUp = [&](double shift) {
        return curveBetween(moved(lowerNow, shift), moved(upperNow, shift), span.fraction);
    };
    // The look-up grows with the shift, from 0.0 (both points at the bottom)
    // to 1.0 (both at the top): halving the interval finds the one shift.
    double down = -std::max({lowerNow, upperNow, 0.0});
    double up = 1.0 - std::min({lowerNow, upperNow, 1.0});
    for (int step = 0; step < 60; ++step) {
        const double middle = (down + up) / 2.0;
        (lookUp(middle) < value ? down : up) = middle;
    }
    const double shift = (down + up) / 2.0;
    return {{span.lower, moved(lowerNow, shift)}, {span.upper, moved(upperNow, shift)}};
}

}  // namespace duolume
