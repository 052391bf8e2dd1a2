// Tells the HID back-end that hidraw devices or backlights may have come or
// gone, on GLib's default main context (the main thread's run loop).
//
// On the real system the source is udev ("udev" events, after the rules have
// run, so nodes exist and carry their permissions). Under a moved file system
// root (PLATFORM_SYSROOT, a virtual laptop) no udev speaks for those files;
// there the class folders themselves are watched with inotify.
#pragma once

#include <functional>

struct udev;
struct udev_monitor;

namespace platform::linux_machine {

class HotplugWatch {
  public:
    explicit HotplugWatch(std::function<void()> changed);
    ~HotplugWatch();
    HotplugWatch(const HotplugWatch&) = delete;
    HotplugWatch& operator=(const HotplugWatch&) = delete;

    // False when no change can be seen (logged once at start).
    bool watching() const { return source_ != 0; }

  private:
    bool startUdev();
    bool startInotify();
    static int onReadable(int fd, unsigned condition, void* self);

    std::function<void()> changed_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int inotifyFd_ = -1;
    unsigned source_ = 0;
};

}  // namespace platform::linux_machine
