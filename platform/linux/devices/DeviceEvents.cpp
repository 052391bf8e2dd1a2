#include "linux/devices/DeviceEvents.h"

#include <libudev.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

// Room for the change events of a fade's writes (one a step) that queue up
// between two readings; an unprivileged process gets at most the system's
// rmem_max.
constexpr int kReceiveBufferBytes = 1 << 20;

DeviceEvent::Action actionNamed(const char* action) {
    using Action = DeviceEvent::Action;
    if (!action)
        return Action::Other;
    if (std::strcmp(action, "add") == 0)
        return Action::Add;
    if (std::strcmp(action, "remove") == 0)
        return Action::Remove;
    if (std::strcmp(action, "move") == 0)
        return Action::Move;
    if (std::strcmp(action, "change") == 0)
        return Action::Change;
    return Action::Other;
}

}  // namespace

bool DeviceEvent::drmHotplug() const {
    return action == Action::Change && subsystem == "drm" && property("HOTPLUG") == "1";
}

std::string DeviceEvent::property(const std::string& key) const {
    auto it = properties.find(key);
    return it == properties.end() ? std::string() : it->second;
}

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
    // A smaller buffer than asked for still works: an overflow is reported.
    (void)udev_monitor_set_receive_buffer_size(monitor_, kReceiveBufferBytes);
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
    for (const auto& subsystem : subsystems) {
        const std::string folder = underSysroot("/sys/class/" + subsystem);
        int watch = inotify_add_watch(inotifyFd_, folder.c_str(),
                                      IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO);
        if (watch >= 0)
            watchedSubsystems_[watch] = subsystem;
    }
    if (watchedSubsystems_.empty() ||
        (everyFolder && watchedSubsystems_.size() < subsystems.size())) {
        *why = "Cannot watch the class folders";
        return false;
    }
    return true;
}

int DeviceEvents::fd() const {
    return monitor_ ? udev_monitor_get_fd(monitor_) : inotifyFd_;
}

std::vector<DeviceEvent> DeviceEvents::read() {
    std::vector<DeviceEvent> events;
    if (monitor_)
        readUdev(events);
    else
        readInotify(events);
    return events;
}

void DeviceEvents::readUdev(std::vector<DeviceEvent>& events) {
    for (;;) {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (!device) {
            // A full socket buffer drops events and says so once.
            if (errno == ENOBUFS) {
                events.push_back({DeviceEvent::Action::Missed, {}, {}, {}});
                continue;
            }
            return;  // nothing more (EAGAIN), or nothing readable
        }
        DeviceEvent event;
        event.action = actionNamed(udev_device_get_action(device));
        const char* subsystem = udev_device_get_subsystem(device);
        const char* name = udev_device_get_sysname(device);
        event.subsystem = subsystem ? subsystem : "";
        event.name = name ? name : "";
        udev_list_entry* entry = udev_device_get_properties_list_entry(device);
        for (; entry; entry = udev_list_entry_get_next(entry)) {
            const char* value = udev_list_entry_get_value(entry);
            event.properties[udev_list_entry_get_name(entry)] = value ? value : "";
        }
        udev_device_unref(device);
        events.push_back(std::move(event));
    }
}

void DeviceEvents::readInotify(std::vector<DeviceEvent>& events) {
    alignas(inotify_event) char buf[4096];
    ssize_t n;
    while ((n = ::read(inotifyFd_, buf, sizeof buf)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* raw = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + raw->len);
            DeviceEvent event;
            auto watched = watchedSubsystems_.find(raw->wd);
            // A queue overflow, or a class folder itself gone: what follows
            // would go unseen.
            if ((raw->mask & (IN_Q_OVERFLOW | IN_IGNORED)) || watched == watchedSubsystems_.end()) {
                event.action = DeviceEvent::Action::Missed;
            } else {
                event.action = (raw->mask & (IN_CREATE | IN_MOVED_TO))
                                   ? DeviceEvent::Action::Add
                                   : DeviceEvent::Action::Remove;
                event.subsystem = watched->second;
                event.name = raw->len ? raw->name : "";
            }
            events.push_back(std::move(event));
        }
    }
}

}  // namespace platform::linux_machine
