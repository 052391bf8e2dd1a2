// The Apple SMC's 8-bit light values on the scale of the platform's
// AppleLMUController, whose two outputs the level formula
// ((average + 1)^(2/15)) - 1 reads: level 10 needs an average of 11^7.5 - 1
// (about 6.5 x 10^7), while the SMC driver prints each value as u8, 0..255
// (drivers/hwmon/applesmc.c, applesmc_light_show; github torvalds/linux @
// 01be83eea08d). Each value is handed on as
// ceil((1 + level)^7.5 - 1), the formula's inverse at the level it stands for.
//
// Macs whose light keys hold two readings (one per sensor, 8 bits each): the
// 256 readings are spread evenly over the levels, level 10 v / 255, so each
// raw step is 1/25.5 of a level everywhere, dark rooms included, and 255
// reaches level 10. In the dark the inverse falls below the reading itself
// (v < 10); there v is delivered unchanged, so every step still moves the
// level (0 -> 0.0, 1 -> 0.097, 9 -> 0.359).
//
// Macs whose light key holds one reading: the driver reads a 10-byte key, takes
// the big-endian 16 bits at bytes 6 and 7, shifts them right by 2 and stores
// the result in the u8 left value (the same function, data_length 10), so only
// the low 8 bits of a 14-bit reading survive and the right value stays 0. Their
// owners read small numbers: (4,0) in a room with sunlight and lamps, (0,0)
// with the sensor covered (MacBook Air 2013, github poliva/lightum issue 46);
// a single reading in the left value with the right one at 0 on a
// MacBookPro11,5 too (github max-baz/wluma pull request 179). Another owner
// saw values "between (0,255), and others (0,3)" on older MacBooks (github
// Dunedan/mbp-2016-linux issue 16): ranges, not readings. Spread evenly the
// single readings would leave a sunlit room at level 0.16. Here a reading v
// stands for level 10 ln(1 + v) / ln(17): 0 stays 0, each of the few readings
// of ordinary rooms gets a level of its own
// (1 -> 2.4, 2 -> 3.9, 3 -> 4.9), the sunlit room's 4 lands at 5.7 in the upper
// half, and 16 and above reach level 10.
#pragma once

#include <cstdint>

#include "linux/light/AppleSMCLight.h"

namespace platform::linux_machine {

// One value of a Mac with two readings.
std::uint64_t controllerValueForSMCLight(std::uint8_t smcValue);
// The one value of a Mac with a single reading.
std::uint64_t controllerValueForSingleSMCLight(std::uint8_t smcValue);

// The two outputs of the controller's scalar method 0 for one reading of the
// pair. `pairSeen` says the right value has been non-zero before; until then
// the Mac is taken for one with a single reading, whose left value stands for
// both outputs.
void controllerValuesForSMCLight(const SMCLightValues& values, bool pairSeen,
                                 std::uint64_t outputs[2]);

// The controller value at which the level formula gives `level`, and the
// level the formula gives for two outputs: the scale on which the sun's
// estimate stands in for the SMC (LinuxLightSources.h).
std::uint64_t controllerValueForLevel(double level);
double controllerLevelForOutputs(const std::uint64_t outputs[2]);

}  // namespace platform::linux_machine
