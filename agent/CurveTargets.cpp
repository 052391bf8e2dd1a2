#include "agent/CurveTargets.h"

#include <cmath>

namespace duolume {

bool targetsMoved(const CurveTargets& now, const CurveTargets& before, double threshold) {
    return std::fabs(now.internal - before.internal) >= threshold ||
           std::fabs(now.external - before.external) >= threshold;
}

}  // namespace duolume
