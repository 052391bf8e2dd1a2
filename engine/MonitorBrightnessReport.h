// The brightness feature report of Apple USB monitors: report 16 (feature
// report type), two payload bytes holding an unsigned 16-bit brightness,
// little-endian, 0 darkest and 65535 brightest.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace duolume {

inline constexpr long kMonitorBrightnessReportID = 16;
inline constexpr long kMonitorBrightnessReportLength = 2;

using MonitorBrightnessPayload = std::array<std::uint8_t, kMonitorBrightnessReportLength>;

// fraction × 65535, truncated toward zero (0.5 gives 7F FF, not 80 00) and
// held within 0 to 65535. Absent for a value that is not a number.
std::optional<MonitorBrightnessPayload> monitorPayloadForBrightness(double brightness);

// raw / 65535, rounded to single precision.
float monitorBrightnessForPayload(const MonitorBrightnessPayload& payload);

}  // namespace duolume
