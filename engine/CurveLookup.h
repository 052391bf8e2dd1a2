// The curve look-up: the ambient light level found in the user's eleven-point
// curve, one target for the built-in display and one for the external
// monitors, interpolated linearly between the two whole levels around it.
// The sync request and the background agent both decide with this one rule.
#pragma once

#include <cmath>
#include <optional>

#include "base/PropertyList.h"

namespace duolume {

struct CurveTargets {
    double internal = 0.0;  // built-in display
    double external = 0.0;  // USB monitors
};

// Where a usable level falls on the curve: the whole levels around it (the
// same one twice for a whole level) and how far it lies from the lower one
// towards the upper one (0.0 to 1.0).
struct CurveSpan {
    int lower = 0;
    int upper = 0;
    double fraction = 0.0;
};
inline CurveSpan curveSpanAt(double level) {
    const double lower = std::floor(level);
    return {static_cast<int>(lower), static_cast<int>(std::ceil(level)), level - lower};
}

// The value `fraction` (0.0 to 1.0) of the way from a curve's point `lower`
// to the next one, `upper`: the curve is straight between whole levels.
inline double curveBetween(double lower, double upper, double fraction) {
    return lower + fraction * (upper - lower);
}

// False for a level that names no curve points: negative (the sensor's
// failure markers), not a number, or too large for a point index.
bool curveLevelIsUsable(double level);

// The two targets at `level` from one snapshot of the settings; absent where
// a sync request changes nothing: an unusable level, or neighbouring points
// that are both 0.0 (or absent) on the internal curve, or else on the
// external one. Targets are not clamped.
std::optional<CurveTargets> curveTargetsAt(double level,
                                           const std::optional<NSDictionary>& settings);

}  // namespace duolume
