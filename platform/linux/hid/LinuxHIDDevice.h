// What the Linux HID back-end needs from each kind of device it reports.
#pragma once

#include "machine/HIDBackend.h"

namespace platform::linux_machine {

class LinuxHIDDevice : public HIDDevice {
  public:
    // The device went away: from now on its report calls fail with
    // kIOReturnNotAttached and it holds no system resources.
    virtual void markRemoved() = 0;
};

}  // namespace platform::linux_machine
