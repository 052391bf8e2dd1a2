// The Apple SMC's 8-bit light values on the scale of the platform's
// AppleLMUController, whose two outputs the level formula
// ((average + 1)^(2/15)) - 1 reads: level 10 needs an average of 11^7.5 - 1
// (about 6.5 x 10^7), while the SMC driver prints each value as u8, 0..255
// (drivers/hwmon/applesmc.c, applesmc_light_show).
//
// The 256 readings are spread evenly over the formula's levels: a reading v
// becomes ceil((1 + 10 v / 255)^7.5 - 1), the formula's inverse at level
// 10 v / 255, so each raw step is 1/25.5 of a level everywhere, dark rooms
// included, and 255 reaches level 10. In the dark the inverse falls below
// the reading itself (v < 10); there v is delivered unchanged, so every step
// still moves the level (0 -> 0.0, 1 -> 0.097, 9 -> 0.359).
#pragma once

#include <cstdint>

#include "linux/AppleSMCLight.h"

namespace platform::linux_machine {

std::uint64_t controllerValueForSMCLight(std::uint8_t smcValue);

// The two outputs of the controller's scalar method 0 for one reading of the
// pair. `pairSeen` says the right value has been non-zero before: on Macs
// whose light key holds one 10-bit reading the driver prints it as the left
// value and the right one stays 0 (the same function, data_length 10), so
// until the right sensor has shown itself both outputs carry the left value.
void controllerValuesForSMCLight(const SMCLightValues& values, bool pairSeen,
                                 std::uint64_t outputs[2]);

}  // namespace platform::linux_machine
