// What a back-end found of the hardware it drives, for a person reading the
// log or the window: each object it uses or passed over, with why as a value.
// The back-ends keep these as they go (the backlight they hold, the devices
// they watch, the light source they read), so asking costs no device access.
#pragma once

#include <string>

namespace platform {
// In a namespace of its own while HardwareSurvey.h still defines a
// platform::HardwareFinding: two types must not share one name in one program.
// Once the survey is gone, this namespace can go too.
namespace findings {

enum class FindingReason {
    InUse,             // found, and this is what is used
    NotPresent,        // nothing of the kind here
    PermissionDenied,  // there, but this user may not open or change it
    NoDeviceNode,      // the kernel's device has no node in /dev
    NoSession,         // not writable, and no active local session may have it changed
    NotLux,            // a light sensor that reports in another unit than lux
    Unreadable,        // its files or answers cannot be read, or are garbled
    NotYetKnown,       // still being looked at; the answer comes on its own
};

struct HardwareFinding {
    std::string name;  // "intel_backlight", "/dev/hidraw3", "iio-sensor-proxy"
    FindingReason reason = FindingReason::NotPresent;
    // Facts for a person (paths, ranges, how it is written); never decided on.
    std::string detail;
    bool operator==(const HardwareFinding&) const = default;
};

}  // namespace findings
using findings::FindingReason;
}  // namespace platform
