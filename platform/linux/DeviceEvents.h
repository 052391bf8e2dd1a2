// Devices of some kernel subsystems coming, going or changing, as one
// non-blocking file descriptor. On the real system the source is udev
// ("udev" events, after the rules have run, so nodes exist and carry their
// permissions). Under a moved file system root (PLATFORM_SYSROOT, a virtual
// laptop) no udev speaks for those files; there the class folders themselves
// are watched with inotify.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace platform::linux_machine {

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
    // Reads everything pending; true when there was anything.
    bool drain();

  private:
    DeviceEvents() = default;
    bool openUdev(const std::vector<std::string>& subsystems, std::string* why);
    bool openInotify(const std::vector<std::string>& subsystems, bool everyFolder,
                     std::string* why);

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int inotifyFd_ = -1;
};

}  // namespace platform::linux_machine
