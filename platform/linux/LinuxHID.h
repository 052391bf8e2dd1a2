// HID devices on Linux: hidraw nodes, udev hot-plug, appledisplay backlights.
// TODO(Linux engine work).
#pragma once

#include "IOKit/hid/HIDBackend.h"

namespace platform::linux_machine {

class LinuxHID : public HIDBackend {
public:
    bool canCreateManager() override { return true; }
    IOReturn open(Listener*) override { return kIOReturnSuccess; }
};

}  // namespace platform::linux_machine
