// Whether the curve's targets moved enough for the agent to apply them: the
// targets come from the engine's one curve look-up (engine/CurveLookup.h).
#pragma once

#include "engine/CurveLookup.h"

namespace duolume {

// True when either target moved by `threshold` or more.
bool targetsMoved(const CurveTargets& now, const CurveTargets& before, double threshold);

}  // namespace duolume
