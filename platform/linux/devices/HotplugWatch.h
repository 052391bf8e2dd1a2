// Hands a back-end the device events of some subsystems (DeviceEvents.h) on
// GLib's default main context (the main thread's run loop), through udev or,
// under a moved file system root, inotify. The back-end decides which of them
// mean a device it uses came or went.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "linux/devices/DeviceEvents.h"

namespace platform::linux_machine {

class HotplugWatch {
  public:
    // `heard` gets everything read at each wake-up, oldest first. `unwatched`
    // is logged when no change can be seen.
    HotplugWatch(const std::vector<std::string>& subsystems, const std::string& unwatched,
                 std::function<void(const std::vector<DeviceEvent>&)> heard);
    ~HotplugWatch();
    HotplugWatch(const HotplugWatch&) = delete;
    HotplugWatch& operator=(const HotplugWatch&) = delete;

    // False when no change can be seen (logged once at start).
    bool watching() const { return source_ != 0; }

  private:
    static int onReadable(int fd, unsigned condition, void* self);

    std::function<void(const std::vector<DeviceEvent>&)> heard_;
    std::unique_ptr<DeviceEvents> events_;
    unsigned source_ = 0;
};

}  // namespace platform::linux_machine
