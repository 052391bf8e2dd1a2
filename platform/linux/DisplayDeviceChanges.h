// Tells whether backlights or DRM connectors may have come, gone or changed
// since it was last asked, without a run loop: each question is one
// non-blocking read of the device events (DeviceEvents.h). A fade blocks the
// run loop, so a source on it would be heard only after the fade.
#pragma once

#include <memory>

#include "linux/DeviceEvents.h"

namespace platform::linux_machine {

class DisplayDeviceChanges {
  public:
    // True when something changed since the last call, at the first call, and
    // at every call when changes cannot be seen (nothing may then be kept).
    bool changed();

  private:
    bool started_ = false;
    std::unique_ptr<DeviceEvents> events_;
};

}  // namespace platform::linux_machine
