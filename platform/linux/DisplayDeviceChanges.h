// Tells whether backlights or DRM connectors may have come, gone or changed
// since it was last asked, without a run loop: each question is one
// non-blocking read of a udev monitor (or, under a moved file system root, of
// an inotify watch on the class folders). A fade blocks the run loop, so a
// source on it would be heard only after the fade.
#pragma once

struct udev;
struct udev_monitor;

namespace platform::linux_machine {

class DisplayDeviceChanges {
  public:
    DisplayDeviceChanges() = default;
    ~DisplayDeviceChanges();
    DisplayDeviceChanges(const DisplayDeviceChanges&) = delete;
    DisplayDeviceChanges& operator=(const DisplayDeviceChanges&) = delete;

    // True when something changed since the last call, at the first call, and
    // at every call when changes cannot be seen (nothing may then be kept).
    bool changed();

  private:
    bool start();
    bool startUdev();
    bool startInotify();

    bool started_ = false;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int inotifyFd_ = -1;
};

}  // namespace platform::linux_machine
