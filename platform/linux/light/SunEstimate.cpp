#include "linux/light/SunEstimate.h"

#include <time.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "linux/devices/Sysroot.h"
#include "linux/light/DaylightIlluminance.h"
#include "linux/light/SolarPosition.h"

namespace platform::linux_machine {
namespace {

constexpr double kSearchStep = 60.0;

double realNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

}  // namespace

double estimatedRoomLux(const SunEstimateInputs& inputs, double unixSeconds) {
    const double elevation = solarElevation(unixSeconds, inputs.latitude, inputs.longitude);
    return clearSkyIlluminance(elevation) * inputs.daylightShare;
}

double lightSteps(double lux) {
    return std::log(std::fmax(lux, 0.0) + 1.0);
}

double luxForSteps(double steps) {
    return std::fmax(std::exp(steps) - 1.0, 0.0);
}

std::optional<double> nextChange(const SunEstimateInputs& inputs, double unixSeconds, double step,
                                 double horizon) {
    const double from = lightSteps(estimatedRoomLux(inputs, unixSeconds));
    // Counted in whole steps, so no rounding builds up over the horizon.
    for (long steps = 1; static_cast<double>(steps) * kSearchStep <= horizon; ++steps) {
        const double t = unixSeconds + static_cast<double>(steps) * kSearchStep;
        if (std::fabs(lightSteps(estimatedRoomLux(inputs, t)) - from) >= step)
            return t;
    }
    return std::nullopt;
}

DaylightClock::DaylightClock() : realStart_(realNow()) {
    const auto text = environment("PLATFORM_DAYLIGHT_CLOCK");
    if (!text)
        return;
    char* end = nullptr;
    const double start = std::strtod(text->c_str(), &end);
    double rate = 1.0;
    double at = realStart_;
    if (end && *end == ',')
        rate = std::strtod(end + 1, &end);
    if (end && *end == ',')
        at = std::strtod(end + 1, &end);
    if (end && *end == '\0' && std::isfinite(start) && std::isfinite(rate) && rate > 0.0 &&
        std::isfinite(at)) {
        forced_ = true;
        start_ = start;
        rate_ = rate;
        realStart_ = at;
    }
}

DaylightClock::DaylightClock(double start, double rate, std::optional<double> at)
    : forced_(true),
      start_(start),
      rate_(rate > 0.0 ? rate : 1.0),
      realStart_(at.value_or(realNow())) {}

double DaylightClock::now() const {
    if (!forced_)
        return realNow();
    return start_ + (realNow() - realStart_) * rate_;
}

double DaylightClock::realSecondsUntil(double unixSeconds) const {
    return std::fmax(0.0, (unixSeconds - now()) / rate_);
}

}  // namespace platform::linux_machine
