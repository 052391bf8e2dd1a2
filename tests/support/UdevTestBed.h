// A laptop for umockdev, laid out as the kernel lays out a real one (not as
// our own virtual laptops do): the Intel graphics at PCI 0000:00:02.0 with
// drm/card0 and its connectors card0-eDP-1 (intel_backlight below it, as i915
// registers the backlight on its connector) and card0-DP-1; the USB host
// controller at 0000:00:14.0 with bus usb1; the Apple SMC and an ACPI light
// sensor on IIO. The monitor is an Apple LED Cinema Display (05ac:9226) on
// port 2: USB device 1-2, interface 1-2:1.0 bound to usbhid, HID device
// 0003:05AC:9226.0001 (the kernel's "%04X:%04X:%04X.%04X" of bus, vendor,
// product, sequence), hidraw0 below it. umockdev makes no `device` links of
// class devices; the records carry them (L: lines), as the kernel has them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace testing_support {

class UdevTestBed {
  public:
    // Empty when this machine can run umockdev test beds; else why not.
    static std::string whyNotRunnable();

    UdevTestBed();
    ~UdevTestBed();

    // Runs `argv` in the test bed, without PLATFORM_SYSROOT; false (with the
    // output in `why`) when the test bed does not come up.
    bool run(const std::vector<std::string>& argv,
             std::map<std::string, std::optional<std::string>> environment, std::string* why);
    // Plugs the monitor in or out and waits for the test bed to confirm.
    bool plugMonitor(bool in);
    // A file of the test bed's sysfs ("/sys/...").
    std::string sysFile(const std::string& path) const { return root_ + path; }
    static constexpr const char* kBacklight =
        "/sys/devices/pci0000:00/0000:00:02.0/drm/card0/card0-eDP-1/intel_backlight/brightness";
    ChildProcess& process() { return *process_; }

  private:
    bool waitForOutput(const std::string& line);

    TempDir dir_;
    std::string root_;
    std::unique_ptr<ChildProcess> process_;
    int plugs_ = 0, unplugs_ = 0;
};

}  // namespace testing_support
