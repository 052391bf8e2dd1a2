// An Apple USB monitor that the kernel's appledisplay driver has claimed. The
// driver takes the monitor's HID interface (so no hidraw node exists) and
// offers its brightness as a backlight (appledisplayN, 0..max_brightness,
// 255 in practice). This device speaks the monitor's brightness feature report
// (ID 16, 16-bit little-endian) on top of that backlight, in both directions.
// Writes go to the sysfs file, or through systemd-logind when this user may
// not write it.
#pragma once

#include <string>

#include "linux/LinuxHIDDevice.h"

namespace platform::linux_machine {

inline constexpr CFIndex kBrightnessReportID = 16;

class AppleDisplayBacklightDevice : public LinuxHIDDevice {
  public:
    // `backlightFolder` is the backlight's class entry (under the sysroot).
    AppleDisplayBacklightDevice(std::string backlightFolder, std::int32_t vendorID,
                                std::int32_t productID);

    std::int32_t vendorID() const override { return vendorID_; }
    std::int32_t productID() const override { return productID_; }
    IOReturn getReport(IOHIDReportType type, CFIndex reportID, std::uint8_t* report,
                       CFIndex* length) override;
    IOReturn setReport(IOHIDReportType type, CFIndex reportID, const std::uint8_t* report,
                       CFIndex length) override;
    std::string description() const override { return folder_; }
    // The one field it speaks, so that whoever reads the elements sends
    // what it understands: report 16's 16-bit brightness, 0 to 65535.
    const std::vector<__IOHIDElement>& elements() const override;
    void markRemoved() override { removed_ = true; }

  private:
    IOReturn readMax(long long* max) const;

    std::string folder_;
    std::int32_t vendorID_;
    std::int32_t productID_;
    bool removed_ = false;
};

}  // namespace platform::linux_machine
