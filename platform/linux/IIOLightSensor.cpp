#include "linux/IIOLightSensor.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "linux/SysfsFiles.h"
#include "linux/Sysroot.h"

namespace platform::linux_machine {
namespace {

const char* const kChannelPrefixes[] = {"/in_illuminance", "/in_illuminance0"};

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// The channel's file prefix in `device` ("<device>/in_illuminance"), absent when it has none.
std::optional<std::string> channelOf(const std::string& device) {
    for (const char* prefix : kChannelPrefixes) {
        std::string base = device + prefix;
        if (exists(base + "_input") || exists(base + "_raw"))
            return base;
    }
    return std::nullopt;
}

// An optional calibration file: `fallback` when absent, nothing when garbled.
std::optional<double> calibration(const std::string& path, double fallback) {
    if (!exists(path))
        return fallback;
    return readDecimal(path);
}

// An indexed channel's own calibration file ("in_illuminance0_scale") or,
// when it has none, the one it shares with every channel of its type
// ("in_illuminance_scale"): the kernel names attributes shared by type without
// the index (IIO_SHARED_BY_TYPE, Documentation/ABI/testing/sysfs-bus-iio).
std::string calibrationFile(const std::string& base, const char* suffix) {
    std::string own = base + suffix;
    if (exists(own) || base.back() != '0')
        return own;
    return base.substr(0, base.size() - 1) + suffix;
}

}  // namespace

std::optional<std::string> IIOLightSensor::findDevice() {
    std::error_code ec;
    std::vector<std::string> devices;
    std::filesystem::directory_iterator it(underSysroot("/sys/bus/iio/devices"), ec), end;
    for (; !ec && it != end; it.increment(ec))
        devices.push_back(it->path().string());
    std::sort(devices.begin(), devices.end());
    for (const auto& device : devices)
        if (channelOf(device))
            return device;
    return std::nullopt;
}

std::optional<double> IIOLightSensor::readLux(const std::string& deviceFolder) {
    auto base = channelOf(deviceFolder);
    if (!base)
        return std::nullopt;
    std::optional<double> lux;
    if (exists(*base + "_input")) {
        lux = readDecimal(*base + "_input");
    } else {
        auto raw = readDecimal(*base + "_raw");
        auto scale = calibration(calibrationFile(*base, "_scale"), 1.0);
        auto offset = calibration(calibrationFile(*base, "_offset"), 0.0);
        if (raw && scale && offset)
            lux = (*raw + *offset) * *scale;
    }
    // Light is never negative: such a value is as garbled as text.
    if (!lux || !(*lux >= 0.0) || !std::isfinite(*lux))
        return std::nullopt;
    return lux;
}

}  // namespace platform::linux_machine
