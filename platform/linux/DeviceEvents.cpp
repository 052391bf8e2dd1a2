#include "linux/DeviceEvents.h"

#include <libudev.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "linux/Sysroot.h"

namespace platform::linux_machine {

std::unique_ptr<DeviceEvents> DeviceEvents::open(const std::vector<std::string>& subsystems,
                                                 bool everyFolder, std::string* why) {
    std::unique_ptr<DeviceEvents> events(new DeviceEvents);
    const bool opened = sysroot().empty() ? events->openUdev(subsystems, why)
                                          : events->openInotify(subsystems, everyFolder, why);
    return opened ? std::move(events) : nullptr;
}

DeviceEvents::~DeviceEvents() {
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
    if (inotifyFd_ >= 0)
        close(inotifyFd_);
}

bool DeviceEvents::openUdev(const std::vector<std::string>& subsystems, std::string* why) {
    udev_ = udev_new();
    if (!udev_) {
        *why = "Cannot use udev";
        return false;
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) {
        *why = std::string("Cannot listen to udev: ") + std::strerror(errno);
        return false;
    }
    for (const auto& subsystem : subsystems)
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem.c_str(), nullptr);
    // The monitor's socket is non-blocking once receiving.
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        *why = std::string("Cannot listen to udev: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool DeviceEvents::openInotify(const std::vector<std::string>& subsystems, bool everyFolder,
                               std::string* why) {
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) {
        *why = std::string("Cannot watch the class folders: ") + std::strerror(errno);
        return false;
    }
    std::size_t watches = 0;
    for (const auto& subsystem : subsystems) {
        const std::string folder = underSysroot("/sys/class/" + subsystem);
        if (inotify_add_watch(inotifyFd_, folder.c_str(),
                              IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) >= 0) {
            ++watches;
        }
    }
    if (watches == 0 || (everyFolder && watches < subsystems.size())) {
        *why = "Cannot watch the class folders";
        return false;
    }
    return true;
}

int DeviceEvents::fd() const {
    return monitor_ ? udev_monitor_get_fd(monitor_) : inotifyFd_;
}

bool DeviceEvents::drain() {
    bool any = false;
    if (monitor_) {
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            udev_device_unref(device);
            any = true;
        }
        return any;
    }
    char buf[4096];
    while (read(inotifyFd_, buf, sizeof buf) > 0)
        any = true;
    return any;
}

}  // namespace platform::linux_machine
