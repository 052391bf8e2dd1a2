// Moving one curve so it passes through a brightness at a light level, as
// "Keep this brightness at this light" does: the whole levels on either side
// move up or down together, so the curve keeps its shape around them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/PropertyList.h"

namespace duolume {

struct CurvePoint {
    int level = 0;
    double value = 0.0;
};

// The points of the curve `prefix` (kInternalPrefix or kExternalPrefix) to
// store so the engine's look-up at `level` gives `value`: the two around the
// level (one for a whole level), each within 0.0 to 1.0. Both move by the same
// amount; where that would take one past an end it stays there and the other
// moves on, so the look-up still gives `value`. The level is taken within the
// curve's levels, the value within 0.0 to 1.0.
std::vector<CurvePoint> curvePointsThrough(const std::optional<NSDictionary>& settings,
                                           const std::string& prefix, double level, double value);

}  // namespace duolume
