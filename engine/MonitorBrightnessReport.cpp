#include "engine/MonitorBrightnessReport.h"

#include <cmath>

namespace duolume {

std::optional<MonitorBrightnessPayload> monitorPayloadForBrightness(double brightness) {
    if (std::isnan(brightness))
        return std::nullopt;
    const double scaled = std::trunc(brightness * 65535.0);
    // Beyond the range the report can carry, the nearest end of the range is
    // sent rather than wrapped-around low bits (1.5 would otherwise dim).
    const std::uint16_t raw = scaled <= 0.0       ? 0
                              : scaled >= 65535.0 ? 65535
                                                  : static_cast<std::uint16_t>(scaled);
    return MonitorBrightnessPayload{static_cast<std::uint8_t>(raw & 0xff),
                                    static_cast<std::uint8_t>(raw >> 8)};
}

float monitorBrightnessForPayload(const MonitorBrightnessPayload& payload) {
    const unsigned raw = payload[0] | (payload[1] << 8);
    return static_cast<float>(raw / 65535.0);
}

}  // namespace duolume
