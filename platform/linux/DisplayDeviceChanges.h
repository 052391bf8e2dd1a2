// Tells whether backlights or DRM connectors may have come or gone since it
// was last asked, without a run loop: each question reads the device events
// pending (DeviceEvents.h) without waiting. A fade blocks the run loop, so a
// source on it would be heard only after the fade.
#pragma once

#include <memory>

#include "linux/DeviceEvents.h"

namespace platform::linux_machine {

class DisplayDeviceChanges {
  public:
    // True when a backlight or connector came or went since the last call, or
    // a monitor was plugged into or out of an output; at the first call; and
    // at every call when changes cannot be seen (nothing may then be kept).
    // A backlight's change event (every write of its brightness brings one)
    // is no such change.
    bool changed();

  private:
    bool started_ = false;
    std::unique_ptr<DeviceEvents> events_;
};

}  // namespace platform::linux_machine
