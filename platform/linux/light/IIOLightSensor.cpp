#include "linux/light/IIOLightSensor.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "linux/devices/NumberedNames.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

// A light channel: the prefix of its files, the prefix of the files it shares
// with its type, and whether its value is lux. In the order one is preferred
// within a device.
struct Channel {
    const char* name;
    const char* type;
    bool lux;
};
const Channel kChannels[] = {
    {"in_illuminance", "in_illuminance", true},
    {"in_illuminance0", "in_illuminance", true},
    {"in_intensity_both", "in_intensity", true},
    {"in_intensity_clear", "in_intensity", false},
};

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// The device's channel, absent when it has none.
const Channel* channelOf(const std::string& device) {
    for (const Channel& channel : kChannels) {
        std::string base = device + "/" + channel.name;
        if (exists(base + "_input") || exists(base + "_raw"))
            return &channel;
    }
    return nullptr;
}

// An optional calibration file: `fallback` when absent, nothing when garbled.
std::optional<double> calibration(const std::string& path, double fallback) {
    if (!exists(path))
        return fallback;
    return readDecimal(path);
}

// A channel's own calibration file ("in_illuminance0_scale") or, when it has
// none, the one it shares with every channel of its type
// ("in_illuminance_scale"): the kernel names attributes shared by type after
// the type alone (IIO_SHARED_BY_TYPE, Documentation/ABI/testing/sysfs-bus-iio).
std::string calibrationFile(const std::string& device, const Channel& channel, const char* suffix) {
    std::string own = device + "/" + channel.name + suffix;
    if (exists(own))
        return own;
    return device + "/" + channel.type + suffix;
}

}  // namespace

std::optional<std::string> IIOLightSensor::findDevice() {
    std::error_code ec;
    std::vector<std::string> devices;
    std::filesystem::directory_iterator it(underSysroot("/sys/bus/iio/devices"), ec), end;
    for (; !ec && it != end; it.increment(ec))
        devices.push_back(it->path().string());
    std::sort(devices.begin(), devices.end(), numberedBefore);
    for (bool lux : {true, false}) {
        for (const auto& device : devices) {
            const Channel* channel = channelOf(device);
            if (channel && channel->lux == lux)
                return device;
        }
    }
    return std::nullopt;
}

std::optional<double> IIOLightSensor::readLux(const std::string& deviceFolder) {
    const Channel* channel = channelOf(deviceFolder);
    if (!channel)
        return std::nullopt;
    const std::string base = deviceFolder + "/" + channel->name;
    std::optional<double> lux;
    if (exists(base + "_input")) {
        lux = readDecimal(base + "_input");
    } else {
        auto raw = readDecimal(base + "_raw");
        auto scale = calibration(calibrationFile(deviceFolder, *channel, "_scale"), 1.0);
        auto offset = calibration(calibrationFile(deviceFolder, *channel, "_offset"), 0.0);
        if (raw && scale && offset)
            lux = (*raw + *offset) * *scale;
    }
    // Light is never negative: such a value is as garbled as text.
    if (!lux || !(*lux >= 0.0) || !std::isfinite(*lux))
        return std::nullopt;
    return lux;
}

std::string IIOLightSensor::describe(const std::string& deviceFolder) {
    const Channel* channel = channelOf(deviceFolder);
    if (channel && !channel->lux)
        return "IIO device " + deviceFolder + " (" + channel->name +
               ": counts without a unit, read as lux)";
    return "IIO device " + deviceFolder;
}

}  // namespace platform::linux_machine
