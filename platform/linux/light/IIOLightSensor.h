// IIO light sensors in sysfs (<root>/sys/bus/iio/devices/*): a channel
// "in_illuminance" (or "in_illuminance0") given in lux either directly
// (_input) or as _raw with an optional _scale and _offset:
// lux = (raw + offset) * scale. An indexed channel may share its scale and
// offset with its type (in_illuminance0_raw with in_illuminance_scale).
//
// Sensors with only an intensity channel are read the same way:
// "in_intensity_both" as lux, as iio-sensor-proxy's buffer driver does
// (github hadess/iio-sensor-proxy, src/drv-iio-buffer-light.c @ 4dda433e:
// "readings.uses_lux = TRUE" for in_intensity_both, after Microsoft's HID
// sensor usages), and as a last resort "in_intensity_clear" (apds9960,
// tcs3472), whose counts have no unit (Documentation/ABI/testing/sysfs-bus-iio)
// and are taken as lux. Both share their scale and offset with their type
// (in_intensity_scale).
#pragma once

#include <optional>
#include <string>

namespace platform::linux_machine {

class IIOLightSensor {
  public:
    // The device folder to read: the first by number ("iio:device2" before
    // "iio:device10") whose channel gives lux, else the first with a clear
    // intensity channel; absent when none has a light channel.
    static std::optional<std::string> findDevice();
    // The device's illuminance in lux, read afresh; absent when a file is
    // unreadable or garbled, or the value is negative.
    static std::optional<double> readLux(const std::string& deviceFolder);
    // "IIO device <folder>", saying so when its channel has no unit.
    static std::string describe(const std::string& deviceFolder);
};

}  // namespace platform::linux_machine
