// The light in a room estimated from the sun: the clear-sky daylight
// outdoors at a place (SolarPosition.h, DaylightIlluminance.h) times the
// share of it that reaches the room. Daylight design guidance gives that
// share as the daylight factor: below 2 % a room is under-lit and needs lamps
// by day, 2 to 5 % it is adequately daylit, above 5 % it is well lit (CIBSE
// Lighting Guide 10, 2014). Night keeps starlight's share, next to nothing.
//
// The estimate changes slowly, so it is worked out only when it would next
// have moved by a step that matters: nextChange() tells when.
#pragma once

#include <optional>

namespace platform::linux_machine {

struct SunEstimateInputs {
    double latitude = 0.0;
    double longitude = 0.0;
    double daylightShare = 0.02;
};

// Lux in the room at `unixSeconds`.
double estimatedRoomLux(const SunEstimateInputs& inputs, double unixSeconds);

// The brightness scale steps are taken on: ln(lux + 1), as people see light
// (Weber-Fechner), 0 in the dark.
double lightSteps(double lux);
double luxForSteps(double steps);

// The first time after `unixSeconds`, looked for minute by minute up to
// `horizon` seconds ahead, at which the estimate has moved `step` or more on
// lightSteps() from its value at `unixSeconds`; absent when it does not
// within the horizon (a polar night, a steady midday).
std::optional<double> nextChange(const SunEstimateInputs& inputs, double unixSeconds, double step,
                                 double horizon);

// The clock the estimate reads: the system's wall clock, unless
// PLATFORM_DAYLIGHT_CLOCK says "START", "START,RATE" or "START,RATE,AT"
// (seconds since 1970, a speed-up, and the wall-clock time at which the
// clock shows START, by default when the variable is read): "1718964000,2880"
// runs 21 June 2024 10:00 UTC on at a day per 30 s. For tests and the demo.
// A clock that runs faster than real time speeds up the light sources' own
// waits as much (LinuxLightSources.h): a demo's day in seconds is a day.
class DaylightClock {
  public:
    // From the environment.
    DaylightClock();
    DaylightClock(double start, double rate, std::optional<double> at = std::nullopt);
    double now() const;
    // Real seconds until the clock shows `unixSeconds`.
    double realSecondsUntil(double unixSeconds) const;
    bool forced() const { return forced_; }
    // How many times faster than real time the clock runs.
    double rate() const { return rate_; }

  private:
    bool forced_ = false;
    double start_ = 0.0;
    double rate_ = 1.0;
    double realStart_ = 0.0;
};

}  // namespace platform::linux_machine
