#include "linux/hid/AppleDisplayBacklightDevice.h"

#include "IOKit/hid/IOHIDUsageTables.h"
#include "linux/devices/SysfsFiles.h"

namespace platform::linux_machine {
namespace {

// The low byte of ACD_USB_BRIGHTNESS (0x0310).
constexpr CFIndex kDriverBrightnessReport = 0x10;

}  // namespace

AppleDisplayBacklightDevice::AppleDisplayBacklightDevice(std::string backlightFolder,
                                                         std::int32_t vendorID,
                                                         std::int32_t productID,
                                                         std::string productsUnknown)
    : LinuxHIDDevice(vendorID, productID),
      folder_(std::move(backlightFolder)),
      description_(productsUnknown.empty() ? folder_ : folder_ + ", product " + productsUnknown) {
    IOReturn status = kIOReturnSuccess;
    backlight_ = OpenBacklight::open(Backlight{baseName(folder_), folder_, "", false, {}}, &status);
    // A backlight whose maximum cannot be read declares nothing; its reports fail.
    if (!backlight_ || backlight_->max() > 0xFF)
        return;
    __IOHIDElement brightness;
    brightness.type = kIOHIDElementTypeFeature;
    brightness.usagePage = kHIDPage_MonitorVirtual;
    brightness.usage = kHIDUsage_VESA_Brightness;
    brightness.reportID = kDriverBrightnessReport;
    brightness.reportSize = 8;
    brightness.reportCount = 1;
    brightness.logicalMin = 0;
    brightness.logicalMax = backlight_->max();
    elements_.push_back(brightness);
}

FindingReason AppleDisplayBacklightDevice::access() const {
    if (removed() || elements_.empty())
        return FindingReason::Unreadable;  // gone, or its files could not be read
    if (!backlight_)
        return FindingReason::InUse;  // closed for now
    return backlight_->writable() || !backlight_->refusedByLogind() ? FindingReason::InUse
                                                                    : FindingReason::NoSession;
}

IOReturn AppleDisplayBacklightDevice::ensureOpen() {
    if (removed())
        return kIOReturnNotAttached;
    if (backlight_)
        return kIOReturnSuccess;
    IOReturn status = kIOReturnSuccess;
    backlight_ = OpenBacklight::open(Backlight{baseName(folder_), folder_, "", false, {}}, &status);
    return backlight_ ? kIOReturnSuccess : status;
}

IOReturn AppleDisplayBacklightDevice::checkReport(IOHIDReportType type, CFIndex reportID,
                                                  CFIndex length) {
    if (length < 1)
        return kIOReturnBadArgument;
    if (type != kIOHIDReportTypeFeature || reportID != kDriverBrightnessReport)
        return kIOReturnUnsupported;
    return ensureOpen();
}

IOReturn AppleDisplayBacklightDevice::getReport(IOHIDReportType type, CFIndex reportID,
                                                std::uint8_t* report, CFIndex* length) {
    if (!report || !length)
        return kIOReturnBadArgument;
    if (IOReturn status = checkReport(type, reportID, *length))
        return status;
    long long raw = 0;
    if (IOReturn status = backlight_->readRaw(&raw))
        return status;
    report[0] = static_cast<std::uint8_t>(raw);
    *length = 1;
    return kIOReturnSuccess;
}

IOReturn AppleDisplayBacklightDevice::setReport(IOHIDReportType type, CFIndex reportID,
                                                const std::uint8_t* report, CFIndex length) {
    if (!report)
        return kIOReturnBadArgument;
    if (IOReturn status = checkReport(type, reportID, length))
        return status;
    if (report[0] > backlight_->max())
        return kIOReturnBadArgument;
    return backlight_->writeRaw(report[0]);
}

}  // namespace platform::linux_machine
