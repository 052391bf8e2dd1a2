// sun-estimate: the light the Linux machine estimates from the sun for the
// place of a root's time zone (PLATFORM_SYSROOT), at moments one step apart:
// one line each, "<seconds since 1970> <level ln(lux + 1)> <lux> <elevation>".
// For the demo, which lets a virtual sensor see the same sun.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "linux/light/SolarPosition.h"
#include "linux/light/SunEstimate.h"
#include "linux/light/ZonePlace.h"

using namespace platform::linux_machine;

int main(int argc, char** argv) {
    double from = 0, step = 0, share = 0.02;
    int count = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const double v = std::strtod(argv[i + 1], nullptr);
        if (a == "--from")
            from = v;
        else if (a == "--step")
            step = v;
        else if (a == "--count")
            count = static_cast<int>(v);
        else if (a == "--share")
            share = v;
    }
    if (count <= 0) {
        std::fputs(
            "Usage: PLATFORM_SYSROOT=DIR sun-estimate --from UNIX --step SECONDS --count N "
            "[--share FRACTION]\n",
            stderr);
        return 2;
    }
    const MachinePlace found = machineZonePlace();
    if (!found.place) {
        std::fprintf(stderr, "sun-estimate: %s\n", found.why.c_str());
        return 1;
    }
    const SunEstimateInputs inputs{found.place->latitude, found.place->longitude, share};
    for (int i = 0; i < count; ++i) {
        const double t = from + i * step;
        const double lux = estimatedRoomLux(inputs, t);
        std::printf("%.0f %.4f %.3f %.3f\n", t, lightSteps(lux), lux,
                    solarElevation(t, found.place->latitude, found.place->longitude));
    }
    return 0;
}
