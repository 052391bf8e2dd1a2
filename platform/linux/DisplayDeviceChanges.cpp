#include "linux/DisplayDeviceChanges.h"

#include <libudev.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <string>

#include "linux/Sysroot.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kWatchedSubsystems[] = {"backlight", "drm"};

}  // namespace

DisplayDeviceChanges::~DisplayDeviceChanges() {
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
    if (inotifyFd_ >= 0)
        close(inotifyFd_);
}

bool DisplayDeviceChanges::startUdev() {
    udev_ = udev_new();
    if (!udev_)
        return false;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_)
        return false;
    for (const char* subsystem : kWatchedSubsystems)
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
        return false;
    }
    return true;
}

bool DisplayDeviceChanges::startInotify() {
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0)
        return false;
    int watches = 0;
    for (const char* subsystem : kWatchedSubsystems) {
        std::string folder = underSysroot(std::string("/sys/class/") + subsystem);
        if (inotify_add_watch(inotifyFd_, folder.c_str(),
                              IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) >= 0) {
            ++watches;
        }
    }
    // Both folders: a class folder made later would go unseen.
    if (watches < 2) {
        close(inotifyFd_);
        inotifyFd_ = -1;
        return false;
    }
    return true;
}

bool DisplayDeviceChanges::start() {
    started_ = true;
    return sysroot().empty() ? startUdev() : startInotify();
}

bool DisplayDeviceChanges::changed() {
    if (!started_) {
        start();
        return true;
    }
    bool any = false;
    if (monitor_) {
        // The monitor's socket is non-blocking: an empty queue is one recvmsg.
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            udev_device_unref(device);
            any = true;
        }
        return any;
    }
    if (inotifyFd_ < 0)
        return true;
    char buf[4096];
    while (read(inotifyFd_, buf, sizeof buf) > 0)
        any = true;
    return any;
}

}  // namespace platform::linux_machine
