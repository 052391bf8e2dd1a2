// Readings of a light sensor that stand, with the noise left out. A reading
// is taken once it has stayed on one side of the value taken last, farther
// than a band around it, for a while: a single reading far from its
// neighbours never gets through (a ThinkBook 13x whose sensor drops to
// 0.03 lux between readings near 1000, github
// craigcabrey/thinkbook-13x-gen4-enablement issue 10; a Yoga 720 flickering
// between 33, 44 and 55 lux twice a second, github hadess/iio-sensor-proxy
// issue 261).
//
// The figures follow Plasma 6.6's automatic brightness (X. Hugl, "Automatic
// brightness in Plasma", 2026-04-24: a hysteresis of about 10 %, a delay of
// 2 s before a change, and slower dimming than brightening): a band of
// ln(1.1) on the ln(lux + 1) scale, 2 s before brighter light is taken and
// 5 s before darker light is. The longer wait for darkness also covers a lid
// being closed: the sensor in its bezel is covered before the lid switch
// tells logind, and the darkness must not be taken meanwhile.
#pragma once

#include <optional>

namespace platform::linux_machine {

struct SteadyLightTimes {
    double band = 0.0953;   // ln(1.1)
    double brighter = 2.0;  // seconds
    double darker = 5.0;
};

class SteadyLight {
  public:
    explicit SteadyLight(SteadyLightTimes times = {}) : times_(times) {}

    // A reading (on the ln(lux + 1) scale) at `seconds` (a monotonic clock);
    // returns the value that stands now.
    double take(double steps, double seconds);
    // The value that stands, once there is one.
    std::optional<double> standing() const { return standing_; }
    // Forget everything: the next reading stands at once (a new sensor, a
    // sensor back after a pause).
    void reset() {
        standing_.reset();
        pendingSince_.reset();
    }

  private:
    SteadyLightTimes times_;
    std::optional<double> standing_;
    std::optional<double> pendingSince_;
    bool pendingBrighter_ = false;
};

}  // namespace platform::linux_machine
