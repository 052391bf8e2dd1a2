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
    // The monitor's own ambient light sensor, 1 off and 2 on, as MCCS
    // control 0x66 (seen on a 27" LED Cinema Display, 05ac:9226, in feature
    // report 102: github johngrimmreaper/acdcontrol,
    // docs/model-notes/05ac_9226.rst).
    kHIDUsage_VESA_AmbientLightSensor = 0x66,  // on kHIDPage_MonitorVirtual
};
