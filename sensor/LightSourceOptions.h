// What the settings tell the machine's light sources: how bright the room is
// against the sky outside, for light estimated from the sun, and whether the
// person asked for the sun even where a light sensor works.
#pragma once

#include <optional>

#include "base/PropertyList.h"
#include "machine/LightEstimate.h"

namespace duolume {

// The share of clear-sky daylight that reaches a room, by the room control:
// dim 1 %, ordinary 2 %, bright 5 %. Daylighting guidance (CIBSE Lighting
// Guide 10, 2014) calls a room with an average daylight factor below 2 %
// under-lit, 2 to 5 % adequately daylit and above 5 % well lit. A value
// between two positions (a hand-edited file) lies between their shares;
// anything else reads as ordinary.
double daylightShareForRoom(double roomBrightness);

platform::LightEstimateOptions lightEstimateOptions(const std::optional<NSDictionary>& settings);

// Hands the options of the settings as they are now to the light sources.
void applyLightSourceSettings();

}  // namespace duolume
