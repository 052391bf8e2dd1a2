// Where a machine has no light sensor to trust, its light sources estimate
// the light of the room from the sun (an extension beyond the platform):
// what the estimate is told, and whether it is what the light comes from
// now. Neither touches a device or waits: the options are handed to the
// sources' own thread, the answers come from what they hold.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

struct LightEstimateOptions {
    // The share of the clear-sky daylight outdoors that reaches the room.
    double daylightShare = 0.02;
    // Estimate from the sun even where a sensor works.
    bool preferEstimate = false;
    // The application's desktop file id (without ".desktop"), under which the
    // machine's place may be asked of the desktop's location service while
    // the estimate is in use; empty: the place of the time zone only.
    std::string locationAppId;
    bool operator==(const LightEstimateOptions&) const = default;
};

// Why the light is estimated rather than read.
enum class LightEstimateCause {
    NoSensor,       // there is no light sensor to read
    LidClosed,      // the lid covers the sensor
    PanelOff,       // the built-in panel is off and its sensor reads far too dark
    SensorStopped,  // the sensor stopped answering or keeps one value for hours
    Preferred,      // the options ask for the estimate
};

struct LightEstimateInUse {
    std::string place;  // "Berlin"
    LightEstimateCause cause = LightEstimateCause::NoSensor;
    bool operator==(const LightEstimateInUse&) const = default;
};

void setLightEstimateOptions(const LightEstimateOptions& options);
// While the service client's light (or the AppleLMUController's) is the
// estimate: where and why; absent while a sensor is read, or nothing is known.
std::optional<LightEstimateInUse> lightServiceClientEstimate();
std::optional<LightEstimateInUse> lightControllerEstimate();
// `handler` runs on the main run loop whenever either of those may have
// changed; the token ends it.
int watchLightEstimate(std::function<void()> handler);
void unwatchLightEstimate(int token);

}  // namespace platform
