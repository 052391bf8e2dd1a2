// Backlight devices of display panels (/sys/class/backlight), each tied to the
// DRM connector whose panel it lights. Backlights of USB monitors (the
// kernel's appledisplay driver) are left out: those monitors are driven as HID
// devices.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/IOKitTypes.h"

namespace platform::linux_machine {

struct Backlight {
    std::string name;    // "intel_backlight"
    std::string folder;  // the class entry, under the sysroot
    std::string type;    // "firmware", "platform", "raw"; may be left empty for a lone backlight
    // Lights a built-in panel: firmware and platform interfaces always do, a
    // raw one when its device is a built-in connector or a graphics card.
    bool builtin = false;
    // The connector it belongs to, absent when that cannot be told.
    std::optional<std::string> connector;
};

// Display backlights in the order they should be tried: firmware, then
// platform, then raw interfaces, each by name. Read afresh at every call.
std::vector<Backlight> listBacklights();
std::optional<Backlight> findBacklight(const std::string& name);
bool hasBuiltinBacklight();

// The kernel's appledisplay driver names every backlight it registers
// "appledisplay<N>" (appledisplay_probe, drivers/usb/misc/appledisplay.c,
// github gregkh/linux @ 17720dd1).
inline constexpr std::string_view kUsbMonitorBacklightPrefix = "appledisplay";
// True for a backlight class entry (a path or a bare name) that the
// appledisplay driver registered.
bool isUsbMonitorBacklight(const std::string& classEntry);

// The raw value for a fraction: rounded, within 0..max; built-in panels get
// at least 1. Absent for a fraction that is not a number.
std::optional<long long> backlightRawValue(double fraction, long long max, bool builtin);
// max_brightness, or the status of the failed read.
IOReturn readBacklightMax(const Backlight& backlight, long long* max);

}  // namespace platform::linux_machine
