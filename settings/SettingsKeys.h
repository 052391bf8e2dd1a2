// The keys of the settings domain and the curve key rules.
#pragma once

#include <string>

namespace duolume {

inline const std::string kEnabledKey = "enabled";
inline const std::string kSingleMonitorDisabledKey = "singleMonitorDisabled";
inline const std::string kSuppressHardwareWarningKey = "suppressHardwareWarning";
// True once the person switched off "Also drive other monitors (DDC/CI)";
// absent (as in every domain written before the switch existed) means on.
inline const std::string kDdcMonitorsDisabledKey = "ddcMonitorsDisabled";
// How bright the room is against the sky outside, for light estimated from
// the sun: -1 a dim room, 0 an ordinary one, 1 a bright one; absent (as in
// every domain written before the control existed) reads as 0, ordinary.
inline const std::string kRoomBrightnessKey = "roomBrightness";
// True once the person asked for the light to be estimated from the sun even
// where a light sensor works; absent means the sensor wherever there is one.
inline const std::string kSunEstimateForcedKey = "sunEstimateForced";
inline const std::string kInternalPrefix = "internal";
inline const std::string kExternalPrefix = "external";

inline constexpr int kCurveLevels = 11;  // whole levels 0 to 10

// The engine's rule: prefix and a level formatted with "%d".
std::string curveKeyForLevel(const std::string& prefix, int level);

// The pane's rule: a tag above 99 is "external" with 100 taken off, any other
// tag is "internal" unchanged; the level is formatted with "%ld".
std::string curveKeyForSliderTag(long tag);

}  // namespace duolume
