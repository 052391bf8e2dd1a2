// What the machine found of the hardware a brightness program drives, for a
// person reading the log: displays, backlights, USB monitors and light
// sensors, each with whether it can be used and, when not, why (no such
// device, no permission, no session that may change it).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "IOKit/hid/IOHIDElement.h"

namespace platform {

struct HardwareFinding {
    enum class Kind { Display, Backlight, Monitor, LightSensor };
    Kind kind;
    std::string name;  // "card0-eDP-1", "intel_backlight", "(none)"
    bool usable = false;
    std::string detail;  // what it is and how it is reached, or why it cannot be used
};

// A USB HID device worth reporting, by its IDs.
struct UsbDeviceID {
    std::int32_t vendor = 0;
    std::int32_t product = 0;
    // How the program would use one HID interface of the device, judged from
    // the elements its report descriptor declares: true with what it would
    // send in `detail`, false with why that interface is not used. Null:
    // every interface is used and nothing more is said.
    std::function<bool(const std::vector<IOHIDElementRef>& elements, std::string* detail)>
        judgeInterface;
};

// Looks at the machine afresh. USB HID devices are reported only when they
// match one of `monitors`; every kind has at least one finding (a "(none)"
// one saying where it looked when nothing is there).
std::vector<HardwareFinding> surveyHardware(const std::vector<UsbDeviceID>& monitors);

// "Backlight intel_backlight: usable: ..." / "... not usable: ...".
std::string describeFinding(const HardwareFinding& finding);

}  // namespace platform
