#include "agent/CurveTargets.h"

#include <climits>
#include <cmath>

#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace duolume {

bool CurveTargets::movedFrom(const CurveTargets& other, double threshold) const {
    return std::fabs(internal - other.internal) >= threshold ||
           std::fabs(external - other.external) >= threshold;
}

std::optional<CurveTargets> curveTargetsAt(double level,
                                           const std::optional<NSDictionary>& settings) {
    if (!(level >= 0.0) || level >= static_cast<double>(INT_MAX))
        return std::nullopt;
    const int lower = static_cast<int>(std::floor(level));
    const int upper = static_cast<int>(std::ceil(level));
    auto point = [&](const std::string& prefix, int index) {
        return settingsDouble(settings, curveKeyForLevel(prefix, index));
    };
    const double internalLower = point(kInternalPrefix, lower);
    const double internalUpper = point(kInternalPrefix, upper);
    const double externalLower = point(kExternalPrefix, lower);
    const double externalUpper = point(kExternalPrefix, upper);
    if ((internalLower == 0.0 && internalUpper == 0.0) ||
        (externalLower == 0.0 && externalUpper == 0.0))
        return std::nullopt;
    const double fraction = level - std::floor(level);
    return CurveTargets{internalLower + fraction * (internalUpper - internalLower),
                        externalLower + fraction * (externalUpper - externalLower)};
}

}  // namespace duolume
