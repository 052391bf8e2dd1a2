// Apple USB monitors claimed by the kernel's appledisplay driver, found
// through their appledisplayN backlights.
//
// The driver registers each backlight without a parent device, so on real
// systems it sits under /sys/devices/virtual/backlight with no link to the
// monitor. The monitor's USB IDs are then taken from the interfaces bound to
// the driver (/sys/bus/usb/drivers/appledisplay/<interface>), paired with the
// backlights in order. With several monitors that pairing may swap product IDs
// between them, which changes nothing: every monitor receives the same
// brightness. A backlight that does sit under its USB device uses that device.
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
};

std::vector<AppleDisplayMonitor> findAppleDisplayMonitors();

}  // namespace platform::linux_machine
