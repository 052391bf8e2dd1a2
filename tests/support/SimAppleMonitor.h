// An Apple USB monitor on the simulated machine, as the engine's tests want
// one: vendor 0x05AC, a product of its table, and feature report 16 holding
// a 16-bit brightness, little-endian (the monitor's fixed payload).
#pragma once

#include <cstdint>

#include "engine/AppleMonitorProducts.h"
#include "sim/SimHID.h"

namespace testing_support {

inline void setReportSixteen(platform::sim::SimHIDDevice& device, std::uint16_t raw) {
    device.featureReports[16] = {static_cast<std::uint8_t>(raw & 0xFF),
                                 static_cast<std::uint8_t>(raw >> 8)};
}

// The 16-bit brightness that report 16 holds now; 0 when it holds none.
inline std::uint16_t reportSixteen(const platform::sim::SimHIDDevice& device) {
    auto it = device.featureReports.find(16);
    if (it == device.featureReports.end() || it->second.size() < 2)
        return 0;
    return static_cast<std::uint16_t>(it->second[0] | (it->second[1] << 8));
}

// A new monitor, plugged in, with report 16 holding `raw`.
inline platform::sim::SimHIDDevice& plugInAppleMonitor(platform::sim::SimHID& hid,
                                                       std::int32_t product = 0x9226,
                                                       std::uint16_t raw = 0x8000) {
    auto& device = hid.addDevice(static_cast<std::int32_t>(duolume::kAppleUSBVendorID), product);
    setReportSixteen(device, raw);
    hid.plugIn(device);
    return device;
}

}  // namespace testing_support
