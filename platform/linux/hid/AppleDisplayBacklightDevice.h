// A USB monitor that the kernel's appledisplay driver has claimed. The driver
// takes the monitor's HID interface (so no hidraw node exists) and offers
// its brightness as a backlight (appledisplayN). This device speaks, on top
// of that backlight, the one feature report the driver itself exchanges with
// the monitor, and declares it as its only element: the brightness control,
// one byte from 0 to the backlight's max_brightness (the driver's 0xff).
//
// Facts from drivers/usb/misc/appledisplay.c: ACD_USB_BRIGHTNESS 0x0310 is
// the wValue of its GET_REPORT/SET_REPORT (report type 3, feature; report ID
// 0x10), the brightness is the single byte after the report ID, and
// max_brightness is 0xff.
#pragma once

#include <memory>
#include <string>

#include "linux/displays/KeptBacklights.h"
#include "linux/hid/LinuxHIDDevice.h"

namespace platform::linux_machine {

class AppleDisplayBacklightDevice : public LinuxHIDDevice {
  public:
    // `backlightFolder` is the backlight's class entry (under the sysroot);
    // `productsUnknown`, when not empty, says which products it may be.
    AppleDisplayBacklightDevice(std::string backlightFolder, std::int32_t vendorID,
                                std::int32_t productID, std::string productsUnknown = {});

    IOReturn getReport(IOHIDReportType type, CFIndex reportID, std::uint8_t* report,
                       CFIndex* length) override;
    IOReturn setReport(IOHIDReportType type, CFIndex reportID, const std::uint8_t* report,
                       CFIndex length) override;
    std::string description() const override { return description_; }
    // Written directly, or through logind until logind refuses it.
    FindingReason access() const override;
    const std::vector<__IOHIDElement>& elements() const override { return elements_; }
    void close() override { backlight_.reset(); }

  private:
    IOReturn checkReport(IOHIDReportType type, CFIndex reportID, CFIndex length);
    // The backlight's files, opened again after a close.
    IOReturn ensureOpen();

    std::string folder_;
    std::string description_;
    std::unique_ptr<OpenBacklight> backlight_;  // null while closed, once removed or unopenable
    std::vector<__IOHIDElement> elements_;
};

}  // namespace platform::linux_machine
