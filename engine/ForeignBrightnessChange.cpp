#include "engine/ForeignBrightnessChange.h"

#include <algorithm>
#include <cmath>

namespace duolume {

namespace {

// A backlight keeps whole raw steps, so a value read back differs from the
// one written by up to half a step: at most 1/40 on a panel of 20 steps or
// more. The desktops' brightness keys move by a twentieth, twice as far.
constexpr double kPanelRounding = 1.0 / 40.0;

}  // namespace

void ForeignBrightnessChange::wrote(double brightness) {
    // Curve points are not clamped; the panel stops at its ends.
    lastWrite_ = std::clamp(brightness, 0.0, 1.0);
}

void ForeignBrightnessChange::writeFailed() {
    lastWrite_.reset();
}

bool ForeignBrightnessChange::seenIn(double reading) {
    if (!lastWrite_ || !(std::fabs(reading - *lastWrite_) > kPanelRounding))  // NaN: not a change
        return false;
    lastWrite_.reset();
    return true;
}

}  // namespace duolume
