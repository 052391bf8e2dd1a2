// What the journal says when a light source's handover (LightHandover.h)
// changes where its light comes from: one line per change, none when it
// stays.
#pragma once

#include <optional>
#include <string>

#include "linux/light/LightHandover.h"

namespace platform::linux_machine {

struct HandoverNewsFacts {
    std::string sensor;          // "iio-sensor-proxy (net.hadess.SensorProxy)"
    std::string place;           // "Berlin (52.50 N, 13.37 E), the place of ..."
    bool sensorReading = false;  // the sensor gives a reading (one kept too long)
};

std::optional<std::string> handoverNews(const HandoverOutput& before, const HandoverOutput& after,
                                        const HandoverNewsFacts& facts);

}  // namespace platform::linux_machine
