#include "linux/light/SolarPosition.h"

#include <cmath>

namespace platform::linux_machine {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kUnixEpochJulianDay = 2440587.5;
constexpr double kJ2000JulianDay = 2451545.0;

double radians(double degrees) {
    return degrees * kPi / 180.0;
}
double degrees(double radians) {
    return radians * 180.0 / kPi;
}

// The calculator's refraction (degrees) for a true elevation in degrees:
// Bennett's formula above 5 degrees, a polynomial near the horizon, and its
// small correction below it.
double refraction(double elevation) {
    if (elevation > 85.0)
        return 0.0;
    const double t = std::tan(radians(elevation));
    double arcSeconds = 0.0;
    if (elevation > 5.0)
        arcSeconds = 58.1 / t - 0.07 / (t * t * t) + 0.000086 / std::pow(t, 5.0);
    else if (elevation > -0.575)
        arcSeconds =
            1735.0 +
            elevation * (-518.2 + elevation * (103.4 + elevation * (-12.79 + elevation * 0.711)));
    else
        arcSeconds = -20.772 / t;
    return arcSeconds / 3600.0;
}

}  // namespace

SolarCoordinates solarCoordinates(double unixSeconds) {
    const double julianDay = unixSeconds / 86400.0 + kUnixEpochJulianDay;
    const double t = (julianDay - kJ2000JulianDay) / 36525.0;  // Julian centuries
    const double meanLongitude = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double meanAnomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double m = radians(meanAnomaly);
    const double centre = std::sin(m) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2.0 * m) * (0.019993 - 0.000101 * t) +
                          std::sin(3.0 * m) * 0.000289;
    const double omega = radians(125.04 - 1934.136 * t);
    const double apparentLongitude = meanLongitude + centre - 0.00569 - 0.00478 * std::sin(omega);
    const double meanObliquity =
        23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = meanObliquity + 0.00256 * std::cos(omega);

    SolarCoordinates c;
    c.declination =
        degrees(std::asin(std::sin(radians(obliquity)) * std::sin(radians(apparentLongitude))));
    const double y = std::pow(std::tan(radians(obliquity) / 2.0), 2.0);
    const double l0 = radians(meanLongitude);
    c.equationOfTime = 4.0 * degrees(y * std::sin(2.0 * l0) - 2.0 * eccentricity * std::sin(m) +
                                     4.0 * eccentricity * y * std::sin(m) * std::cos(2.0 * l0) -
                                     0.5 * y * y * std::sin(4.0 * l0) -
                                     1.25 * eccentricity * eccentricity * std::sin(2.0 * m));
    return c;
}

double solarElevation(double unixSeconds, double latitude, double longitude) {
    const SolarCoordinates c = solarCoordinates(unixSeconds);
    double minutesOfDay = std::fmod(unixSeconds / 60.0, 1440.0);
    if (minutesOfDay < 0.0)
        minutesOfDay += 1440.0;
    double trueSolarTime = std::fmod(minutesOfDay + c.equationOfTime + 4.0 * longitude, 1440.0);
    if (trueSolarTime < 0.0)
        trueSolarTime += 1440.0;
    const double hourAngle =
        trueSolarTime / 4.0 < 0.0 ? trueSolarTime / 4.0 + 180.0 : trueSolarTime / 4.0 - 180.0;
    const double phi = radians(latitude);
    const double delta = radians(c.declination);
    double cosZenith = std::sin(phi) * std::sin(delta) +
                       std::cos(phi) * std::cos(delta) * std::cos(radians(hourAngle));
    cosZenith = std::fmax(-1.0, std::fmin(1.0, cosZenith));
    const double elevation = 90.0 - degrees(std::acos(cosZenith));
    return elevation + refraction(elevation);
}

}  // namespace platform::linux_machine
