// Devices of some kernel subsystems coming, going or changing, as one
// non-blocking file descriptor and the events read from it. On the real
// system the source is udev ("udev" events, after the rules have run, so nodes
// exist and carry their permissions). Under a moved file system root
// (PLATFORM_SYSROOT, a virtual laptop) no udev speaks for those files; there
// the class folders themselves are watched with inotify, and an entry made or
// deleted stands for a device added or removed.
//
// Each reader decides what an event means to it. Most events say nothing
// about which devices exist: the kernel sends a "change" of a backlight with
// SOURCE=sysfs after every write of its brightness, and SOURCE=hotkey when the
// firmware changed it (backlight_device_set_brightness and
// backlight_force_update, both through backlight_generate_event, in Linux's
// drivers/video/backlight/backlight.c, mainline of 2025), and a "change" of a
// DRM card with HOTPLUG=1 when a connector's state may have changed
// (drm_sysfs_hotplug_event in drivers/gpu/drm/drm_sysfs.c, same tree).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace platform::linux_machine {

struct DeviceEvent {
    enum class Action {
        Add,
        Remove,
        Move,    // renamed
        Change,  // an attribute or state; the device stays
        Other,   // bind, unbind, online, offline
        Missed,  // events were lost (a full queue): anything may have changed
    };
    Action action = Action::Other;
    std::string subsystem;  // "backlight"; empty for Missed
    std::string name;       // the device's name in its class: "intel_backlight", "card0"
    // The event's own properties (SOURCE, HOTPLUG, ...); none under a moved root.
    std::map<std::string, std::string> properties;

    // A device came or went, or that cannot be ruled out.
    bool comesOrGoes() const {
        return action == Action::Add || action == Action::Remove || action == Action::Move ||
               action == Action::Missed;
    }
    // A DRM card's change with HOTPLUG=1: an output's state, or the monitor
    // on it, may have changed.
    bool drmHotplug() const;
    // The property's value, empty when the event has none.
    std::string property(const std::string& key) const;
};

class DeviceEvents {
  public:
    // Absent when changes cannot be seen, with what failed in `why`. Under a
    // moved root, `everyFolder` asks for a watch on every class folder (a
    // folder made later would go unseen); otherwise one is enough.
    static std::unique_ptr<DeviceEvents> open(const std::vector<std::string>& subsystems,
                                              bool everyFolder, std::string* why);
    ~DeviceEvents();
    DeviceEvents(const DeviceEvents&) = delete;
    DeviceEvents& operator=(const DeviceEvents&) = delete;

    // Readable when something is pending.
    int fd() const;
    // Everything pending, oldest first; empty when nothing was.
    std::vector<DeviceEvent> read();

  private:
    DeviceEvents() = default;
    bool openUdev(const std::vector<std::string>& subsystems, std::string* why);
    bool openInotify(const std::vector<std::string>& subsystems, bool everyFolder,
                     std::string* why);
    void readUdev(std::vector<DeviceEvent>& events);
    void readInotify(std::vector<DeviceEvent>& events);

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int inotifyFd_ = -1;
    std::map<int, std::string> watchedSubsystems_;  // by inotify watch
};

}  // namespace platform::linux_machine
