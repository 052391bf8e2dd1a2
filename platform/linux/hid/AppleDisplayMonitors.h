// Apple USB monitors claimed by the kernel's appledisplay driver, found
// through their appledisplayN backlights.
//
// The driver registers each backlight without a parent device
// (backlight_device_register(bl_name, NULL, ...) in appledisplay_probe,
// drivers/usb/misc/appledisplay.c, github gregkh/linux @ 17720dd1), so on real
// systems it sits under /sys/devices/virtual/backlight with no link to the
// monitor, and its number is only a count of probes. The monitors' USB IDs are
// then taken from the interfaces bound to the driver
// (/sys/bus/usb/drivers/appledisplay/<interface>), paired with the backlights
// in order (backlights and interfaces by their numbers). When all of them are
// of one product, that is every such backlight's product; when they differ,
// nothing in sysfs tells which backlight belongs to which, and the monitor says
// so: its product is then a guess among them (every monitor receives the same
// brightness, so the guess changes nothing but the text). A backlight that does
// sit under its USB device uses that device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::linux_machine {

struct AppleDisplayMonitor {
    std::string backlight;  // the class entry, under the sysroot
    std::string folder;     // where it really lives (tells devices apart)
    std::int32_t vendor = 0;
    std::int32_t product = 0;
    // Empty when the product is known; else every product bound to the
    // driver without a linked backlight, `product` being one of them.
    std::vector<std::int32_t> possibleProducts;
};

std::vector<AppleDisplayMonitor> findAppleDisplayMonitors();

// "0x9226", or "0x9226 or 0x921c (unknown which: ...)" when the kernel does
// not tell.
std::string describeAppleDisplayProduct(const AppleDisplayMonitor& monitor);

}  // namespace platform::linux_machine
