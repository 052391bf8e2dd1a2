// What a back-end found of the hardware it drives, for a person reading the
// log or the window: each object it uses or passed over, with why as a value.
// The back-ends keep these as they go (the backlight they hold, the devices
// they watch, the light source they read), so asking costs no device access.
#pragma once

#include <string>
#include <vector>

namespace platform {

class HIDDevice;  // an IOHIDDeviceRef

enum class FindingReason {
    InUse,             // found, and this is what is used
    NotPresent,        // nothing of the kind here
    PermissionDenied,  // there, but this user may not open or change it
    NoDeviceNode,      // the kernel's device has no node in /dev
    NoSession,         // not writable, and no active local session may have it changed
    NotLux,            // a light sensor that reports in another unit than lux
    Unreadable,        // its files or answers cannot be read, or are garbled
    NotYetKnown,       // still being looked at; the answer comes on its own
    SetAside,          // there and readable, but not what is used now (a covered light
                       // sensor, the sun's estimate while a sensor is trusted)
};

struct HardwareFinding {
    std::string name;  // "intel_backlight", "/dev/hidraw3", "iio-sensor-proxy"
    FindingReason reason = FindingReason::NotPresent;
    // Facts for a person (paths, ranges, how it is written); never decided on.
    std::string detail;
    bool operator==(const HardwareFinding&) const = default;
};

// What the machine's back-ends hold, asked by product code. None of these
// reads a device or waits on another process, except the built-in panel's,
// which may ask systemd-logind whether the session may have it changed: not
// for a window's thread.

// The light sources the service client looked at, in the order it looks at
// them: the one it reads is InUse, the others say why not.
std::vector<HardwareFinding> lightServiceClientFindings();
// The AppleLMUController pair (on Linux the Apple SMC).
HardwareFinding lightControllerFinding();
// The backlight of the built-in panel that the display services drive.
HardwareFinding builtinPanelFinding();
// Whether this user may use a HID device: InUse, PermissionDenied,
// NoDeviceNode, NoSession (a backlight logind would not set), ...
FindingReason hidDeviceAccess(HIDDevice* device);

}  // namespace platform
