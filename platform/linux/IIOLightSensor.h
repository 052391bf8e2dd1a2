// IIO light sensors in sysfs (<root>/sys/bus/iio/devices/*): a channel
// "in_illuminance" (or "in_illuminance0") given in lux either directly
// (_input) or as _raw with an optional _scale and _offset:
// lux = (raw + offset) * scale. An indexed channel may share its scale and
// offset with its type (in_illuminance0_raw with in_illuminance_scale).
#pragma once

#include <optional>
#include <string>

namespace platform::linux_machine {

class IIOLightSensor {
  public:
    // The first device folder (in name order) with an illuminance channel; absent when none.
    static std::optional<std::string> findDevice();
    // The device's illuminance in lux, read afresh; absent when a file is
    // unreadable or garbled, or the value is negative.
    static std::optional<double> readLux(const std::string& deviceFolder);
};

}  // namespace platform::linux_machine
