// Which light a light source hands on: its sensor's, while that can be
// trusted, else the sun's estimate (SunEstimate.h), moving from one to the
// other without a jump. All on the ln(lux + 1) scale ("steps").
//
// - The sensor's readings go through SteadyLight first.
// - The sensor is not trusted while it is covered (the lid is closed, or the
//   built-in panel is switched off and the sensor reads far darker than the
//   sun's estimate), while it has stopped (no reading, or one raw value for
//   two hours of the daylight clock while the sun's estimate moved three
//   steps or more), or while the person asked for the sun.
// - Under a closed lid the estimate starts from where the sensor stood when
//   the lid closed: the room's light then is taken as lamps plus a share of
//   the daylight (all of the sensor's light above the estimate is lamps;
//   below it, the room gets that fraction of the estimate), and follows the
//   sun from there, so nothing jumps and a lamp-lit room is not taken dark
//   at night.
// - Every other change of source glides: the value handed on moves towards
//   the new one by at most 0.2 steps a second.
// - A sensor that gives nothing for a few seconds keeps its last value.
// - Under a closed lid without an estimate, the last value stands: never a
//   made-up darkness. A sensor that gives nothing, without an estimate,
//   gives nothing on.
#pragma once

#include <optional>
#include <string>

#include "linux/light/SteadyLight.h"

namespace platform::linux_machine {

// Held: the last value, kept while the lid covers the sensor and no estimate can be had.
enum class LightFrom { Nothing, Sensor, Sun, Held };
enum class SunBecause { NoSensor, LidClosed, PanelOff, SensorStopped, Preferred };

struct HandoverInputs {
    double seconds = 0.0;          // monotonic
    double daylightTime = 0.0;     // the estimate's clock, seconds since 1970
    std::optional<double> sensor;  // a raw reading, absent: none to be had
    std::optional<double> sun;     // the estimate, absent: no place known
    bool lidClosed = false;
    bool panelOff = false;
    bool preferSun = false;
};

struct HandoverOutput {
    std::optional<double> steps;  // absent: no light known at all
    LightFrom from = LightFrom::Nothing;
    SunBecause because = SunBecause::NoSensor;  // while from == Sun
    bool operator==(const HandoverOutput&) const = default;
};

class LightHandover {
  public:
    explicit LightHandover(SteadyLightTimes times = {}) : steady_(times) {}

    HandoverOutput update(const HandoverInputs& in);
    // The sensor is another one now (iio-sensor-proxy instead of the IIO
    // device it reads, a device under a new number): its next reading
    // stands at once.
    void sensorReplaced() { steady_.reset(); }
    const HandoverOutput& current() const { return out_; }
    // The sensor's raw value has not changed for this long (daylight clock), while trusted.
    double unchangedFor(double daylightTime) const;

    static constexpr double kGlidePerSecond = 0.2;
    static constexpr double kStoppedAfter = 7200.0;  // daylight seconds
    static constexpr double kStoppedSunSteps = 3.0;
    static constexpr double kFarDarker = 3.0;
    // A sensor that gives nothing for a moment (a claim taken again, a
    // device renumbered) keeps its last value this long (seconds).
    static constexpr double kMissingGrace = 5.0;

  private:
    std::optional<SunBecause> distrust(const HandoverInputs& in);
    double target(const HandoverInputs& in, SunBecause because) const;
    double glide(double to, double seconds);

    SteadyLight steady_;
    HandoverOutput out_;
    std::optional<double> lastSeconds_;
    bool gliding_ = false;
    // The raw value, since when (daylight clock) and the estimate then.
    std::optional<double> raw_;
    double rawSince_ = 0.0;
    std::optional<double> sunAtRawSince_;
    bool stopped_ = false;
    bool sensorSeen_ = false;
    std::optional<double> missingSince_;
    // The room under a closed lid: lamps (lux) and the share of the estimate.
    std::optional<double> lamps_;
    double daylightShare_ = 1.0;
};

}  // namespace platform::linux_machine
