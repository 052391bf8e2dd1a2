#include "linux/HotplugWatch.h"

#include <glib-unix.h>
#include <glib.h>
#include <libudev.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "Foundation/NSLog.h"
#include "linux/Sysroot.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kWatchedSubsystems[] = {"hidraw", "backlight"};

}  // namespace

HotplugWatch::HotplugWatch(std::function<void()> changed) : changed_(std::move(changed)) {
    bool started = sysroot().empty() ? startUdev() : startInotify();
    if (!started)
        NSLog("USB monitor hot-plug is not watched; monitors present now are still used");
}

HotplugWatch::~HotplugWatch() {
    if (source_)
        g_source_remove(source_);
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
    if (inotifyFd_ >= 0)
        close(inotifyFd_);
}

bool HotplugWatch::startUdev() {
    udev_ = udev_new();
    if (!udev_)
        return false;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) {
        NSLog("Cannot listen to udev: %s", std::strerror(errno));
        return false;
    }
    for (const char* subsystem : kWatchedSubsystems) {
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr);
    }
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        NSLog("Cannot listen to udev: %s", std::strerror(errno));
        return false;
    }
    source_ = g_unix_fd_add(udev_monitor_get_fd(monitor_), G_IO_IN,
                            reinterpret_cast<GUnixFDSourceFunc>(&HotplugWatch::onReadable), this);
    return true;
}

bool HotplugWatch::startInotify() {
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
    if (watches == 0)
        return false;
    source_ = g_unix_fd_add(inotifyFd_, G_IO_IN,
                            reinterpret_cast<GUnixFDSourceFunc>(&HotplugWatch::onReadable), this);
    return true;
}

int HotplugWatch::onReadable(int fd, unsigned, void* data) {
    auto* self = static_cast<HotplugWatch*>(data);
    // Drain everything pending: the back-end rescans as a whole, so one call
    // covers any number of events.
    if (self->monitor_) {
        while (udev_device* device = udev_monitor_receive_device(self->monitor_)) {
            udev_device_unref(device);
        }
    } else {
        char buf[4096];
        while (read(fd, buf, sizeof buf) > 0) {
        }
    }
    self->changed_();
    return G_SOURCE_CONTINUE;
}

}  // namespace platform::linux_machine
