// The moment the sun's tests stand still at: 21 June 2024, 10:00 UTC (noon in
// Berlin), and the daylight clock that starts there and barely moves
// (PLATFORM_DAYLIGHT_CLOCK's "start,rate").
#pragma once

namespace testing_support {

constexpr double kNoon = 1718964000.0;
inline const char* const kFrozenNoon = "1718964000,0.000001";

}  // namespace testing_support
