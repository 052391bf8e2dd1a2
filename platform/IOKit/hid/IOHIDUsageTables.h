// The HID usages this program relies on, under the platform's names
// (IOKit/hid/IOHIDUsageTables.h), from the USB HID Usage Tables and the USB
// Monitor Control Class: the Monitor page, whose Monitor Control collection
// holds a monitor's controls, and the VESA Virtual Controls page with its
// Brightness control.
#pragma once

#include <cstdint>

enum : std::uint32_t {
    kHIDPage_Monitor = 0x80,
    kHIDPage_MonitorVirtual = 0x82,  // VESA Virtual Controls
};

enum : std::uint32_t {
    kHIDUsage_Monitor_MonitorControl = 0x01,  // on kHIDPage_Monitor
    kHIDUsage_VESA_Brightness = 0x10,         // on kHIDPage_MonitorVirtual
};
