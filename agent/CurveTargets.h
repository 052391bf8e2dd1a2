// The two brightnesses the engine aims for at an ambient light level: the
// user's curve interpolated between whole levels, with the engine's rules
// for levels and points it does not act on.
#pragma once

#include <optional>

#include "CoreFoundation/PropertyList.h"

namespace duolume {

struct CurveTargets {
    double internal = 0.0;  // built-in display
    double external = 0.0;  // USB monitors
    // True when either target moved by `threshold` or more.
    bool movedFrom(const CurveTargets& other, double threshold) const;
};

// Absent where a sync request changes nothing: a negative (failure) level,
// or a level whose neighbouring points are both 0.0 on either curve.
std::optional<CurveTargets> curveTargetsAt(double level,
                                           const std::optional<NSDictionary>& settings);

}  // namespace duolume
