// Tells a back-end that devices of some subsystems (hidraw and backlights for
// the HID back-end, drm and i2c-dev for the AV services) may have come or
// gone, on GLib's default main context (the main thread's run loop), through
// udev or, under a moved file system root, inotify (DeviceEvents.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "linux/DeviceEvents.h"

namespace platform::linux_machine {

class HotplugWatch {
  public:
    // `unwatched` is logged when no change can be seen.
    HotplugWatch(const std::vector<std::string>& subsystems, const std::string& unwatched,
                 std::function<void()> changed);
    ~HotplugWatch();
    HotplugWatch(const HotplugWatch&) = delete;
    HotplugWatch& operator=(const HotplugWatch&) = delete;

    // False when no change can be seen (logged once at start).
    bool watching() const { return source_ != 0; }

  private:
    static int onReadable(int fd, unsigned condition, void* self);

    std::function<void()> changed_;
    std::unique_ptr<DeviceEvents> events_;
    unsigned source_ = 0;
};

}  // namespace platform::linux_machine
