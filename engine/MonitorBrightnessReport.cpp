#include "engine/MonitorBrightnessReport.h"

#include "engine/MonitorBrightnessField.h"

namespace duolume {

std::optional<MonitorBrightnessPayload> monitorPayloadForBrightness(double brightness) {
    auto bytes = payloadForBrightness(kFixedBrightnessField, brightness);
    if (!bytes)
        return std::nullopt;
    return MonitorBrightnessPayload{(*bytes)[0], (*bytes)[1]};
}

float monitorBrightnessForPayload(const MonitorBrightnessPayload& payload) {
    return brightnessForPayload(kFixedBrightnessField, payload.data(), 2).value_or(0.0f);
}

}  // namespace duolume
