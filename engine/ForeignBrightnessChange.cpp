#include "engine/ForeignBrightnessChange.h"

#include <algorithm>
#include <cmath>

namespace duolume {

namespace {

// The display services answer a read with the value last set while the
// panel still shows it, whatever steps the panel keeps, so only the
// single-precision cell's rounding is left; the finest backlights move by
// about 1/100000.
constexpr double kReadRounding = 1e-5;

}  // namespace

void ForeignBrightnessChange::wrote(double brightness) {
    // Curve points are not clamped; the panel stops at its ends.
    lastWrite_ = std::clamp(brightness, 0.0, 1.0);
}

void ForeignBrightnessChange::writeFailed() {
    lastWrite_.reset();
}

bool ForeignBrightnessChange::explains(double reading) const {
    return !lastWrite_ || !(std::fabs(reading - *lastWrite_) > kReadRounding);  // NaN: explained
}

bool ForeignBrightnessChange::seenIn(double reading) {
    if (explains(reading))
        return false;
    lastWrite_.reset();
    return true;
}

}  // namespace duolume
