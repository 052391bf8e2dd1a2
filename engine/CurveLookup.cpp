#include "engine/CurveLookup.h"

#include <climits>

#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace duolume {

bool curveLevelIsUsable(double level) {
    return level >= 0.0 && level < static_cast<double>(INT_MAX);  // false for NaN
}

std::optional<CurveTargets> curveTargetsAt(double level,
                                           const std::optional<NSDictionary>& settings) {
    if (!curveLevelIsUsable(level))
        return std::nullopt;
    const CurveSpan span = curveSpanAt(level);
    auto point = [&](const std::string& prefix, int index) {
        return settingsDouble(settings, curveKeyForLevel(prefix, index));
    };
    // The internal pair first: when it is all 0.0 the external points are not read.
    const double internalLower = point(kInternalPrefix, span.lower);
    const double internalUpper = point(kInternalPrefix, span.upper);
    if (internalLower == 0.0 && internalUpper == 0.0)
        return std::nullopt;
    const double externalLower = point(kExternalPrefix, span.lower);
    const double externalUpper = point(kExternalPrefix, span.upper);
    if (externalLower == 0.0 && externalUpper == 0.0)
        return std::nullopt;
    return CurveTargets{curveBetween(internalLower, internalUpper, span.fraction),
                        curveBetween(externalLower, externalUpper, span.fraction)};
}

}  // namespace duolume
