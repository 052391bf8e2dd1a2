// The illuminance of daylight on a horizontal surface outdoors under a clear
// sky, from the sun's elevation, day, twilight and night: the U.S. Naval
// Observatory's model (P. M. Janiczek and J. A. DeYoung, "Computer Programs
// for Sun and Moon Illuminance With Contingent Tables and Diagrams", USNO
// Circular No. 171, 1987, after D. R. E. Brown, "Natural Illumination
// Charts", U.S. Navy Bureau of Ships report 374-1, 1952). For the elevation
// h in one of six bands, log10(E / lux) = L0 + L1 x + L2 x^2 + L3 x^3 with
// x = h / 90 and the band's coefficients; below -18 degrees only starlight
// and airglow are left, 10^-2.69897 = 0.002 lux.
#pragma once

namespace platform::linux_machine {

// Lux on open ground for a sun at `elevation` degrees (refraction included).
double clearSkyIlluminance(double elevation);

}  // namespace platform::linux_machine
