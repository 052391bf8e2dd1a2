// HID devices on Linux.
//
// - hidraw devices: /sys/class/hidraw/<node>, identified by the HID_ID of the
//   HID device behind them (bus:vendor:product), reached through /dev/<node>.
// - Apple USB monitors claimed by the kernel's appledisplay driver (which
//   leaves them without a hidraw node): their appledisplayN backlight, under
//   the USB device whose idVendor/idProduct name the monitor.
//
// The back-end reports every such device; the HID manager matches them.
// Devices present are reported when a manager opens; later arrivals and
// removals come from a hot-plug watch on GLib's default main context. A
// removal is reported with the same device object as the arrival, and device
// objects live until the process ends.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "machine/HIDBackend.h"

namespace platform::linux_machine {

class HotplugWatch;
class LinuxHIDDevice;

class LinuxHID : public HIDBackend {
  public:
    LinuxHID();
    ~LinuxHID() override;

    bool canCreateManager() override { return true; }
    IOReturn open(Listener* listener) override;

    // Compares what sysfs shows now with what was reported, and reports the
    // difference to every open listener. Called by the hot-plug watch.
    void rescan();

  private:
    struct Found;
    std::map<std::string, Found> lookAround() const;
    LinuxHIDDevice* arrive(const Found& found);

    std::vector<Listener*> listeners_;
    std::vector<std::unique_ptr<LinuxHIDDevice>> devices_;  // every device ever reported
    std::map<std::string, LinuxHIDDevice*> present_;        // by where it lives in sysfs
    std::unique_ptr<HotplugWatch> watch_;
    bool scanning_ = false;
    bool scanAgain_ = false;
};

}  // namespace platform::linux_machine
