#include "linux/light/DaylightIlluminance.h"

#include <cmath>

namespace platform::linux_machine {
namespace {

// Circular 171's table, from the highest band down: each band holds for
// elevations above `from` (degrees) up to the band before it.
struct Band {
    double from;
    double l0, l1, l2, l3;
};
constexpr Band kBands[] = {
    {20.0, 3.74, 3.97, -4.07, 1.47},        // 20 to 90
    {5.0, 3.05, 13.28, -45.98, 64.33},      // 5 to 20
    {-0.8, 2.88, 22.26, -207.64, 1034.30},  // -0.8 to 5
    {-5.0, 2.88, 21.81, -258.11, -858.36},  // -5 to -0.8
    {-12.0, 2.70, 12.17, -431.69, -1899.83}, {-18.0, 13.84, 262.72, 1447.42, 2797.93},
};
constexpr double kStarlightAndAirglow = -2.69897;

}  // namespace

double clearSkyIlluminance(double elevation) {
    if (std::isnan(elevation))
        return 0.0;
    const double x = std::fmin(elevation, 90.0) / 90.0;
    for (const Band& band : kBands) {
        if (elevation > band.from)
            return std::pow(10.0, band.l0 + x * (band.l1 + x * (band.l2 + x * band.l3)));
    }
    return std::pow(10.0, kStarlightAndAirglow);
}

}  // namespace platform::linux_machine
