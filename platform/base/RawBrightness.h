// A brightness fraction as the whole step of a device whose brightness runs
// 0..maximum: a DDC/CI monitor's VCP 0x10, a backlight file's brightness, the
// value a desktop's brightness service takes. One rule for all of them, so
// that a value written is the value the reading side expects back.
#pragma once

#include <algorithm>
#include <cmath>

namespace platform {

// `fraction` held within 0..1, times `maximum`, rounded to the nearest step
// (half away from zero). 0 for a fraction that is not a number.
inline long long rawBrightness(double fraction, long long maximum) {
    if (std::isnan(fraction))
        return 0;
    return std::llround(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(maximum));
}

}  // namespace platform
