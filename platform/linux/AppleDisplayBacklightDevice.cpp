#include "linux/AppleDisplayBacklightDevice.h"

#include <cerrno>
#include <cmath>

#include "linux/ErrnoStatus.h"
#include "linux/LogindBrightness.h"
#include "linux/SysfsFiles.h"

namespace platform::linux_machine {

AppleDisplayBacklightDevice::AppleDisplayBacklightDevice(std::string backlightFolder,
                                                         std::int32_t vendorID,
                                                         std::int32_t productID)
    : folder_(std::move(backlightFolder)), vendorID_(vendorID), productID_(productID) {}

const std::vector<__IOHIDElement>& AppleDisplayBacklightDevice::elements() const {
    static const std::vector<__IOHIDElement> field = [] {
        __IOHIDElement brightness;
        brightness.type = kIOHIDElementTypeFeature;
        // Brightness on the VESA Virtual Controls page (USB HID Usage Tables).
        brightness.usagePage = 0x82;
        brightness.usage = 0x10;
        brightness.reportID = kBrightnessReportID;
        brightness.reportSize = 16;
        brightness.reportCount = 1;
        brightness.logicalMin = 0;
        brightness.logicalMax = 65535;
        return std::vector<__IOHIDElement>{brightness};
    }();
    return field;
}

IOReturn AppleDisplayBacklightDevice::readMax(long long* max) const {
    int error = 0;
    auto value = readCount(folder_ + "/max_brightness", &error);
    if (!value)
        return statusForErrno(error);
    if (*value <= 0 || *value > 65535)
        return kIOReturnIOError;
    *max = *value;
    return kIOReturnSuccess;
}

IOReturn AppleDisplayBacklightDevice::getReport(IOHIDReportType type, CFIndex reportID,
                                                std::uint8_t* report, CFIndex* length) {
    if (!report || !length || *length < 2)
        return kIOReturnBadArgument;
    if (type != kIOHIDReportTypeFeature || reportID != kBrightnessReportID)
        return kIOReturnUnsupported;
    if (removed_)
        return kIOReturnNotAttached;
    long long max = 0;
    if (IOReturn status = readMax(&max))
        return status;
    int error = 0;
    auto value = readCount(folder_ + "/brightness", &error);
    if (!value)
        return statusForErrno(error);
    if (*value > max)
        return kIOReturnIOError;
    auto raw = static_cast<std::uint16_t>(std::lround(static_cast<double>(*value) * 65535.0 / max));
    report[0] = static_cast<std::uint8_t>(raw & 0xFF);
    report[1] = static_cast<std::uint8_t>(raw >> 8);
    *length = 2;
    return kIOReturnSuccess;
}

IOReturn AppleDisplayBacklightDevice::setReport(IOHIDReportType type, CFIndex reportID,
                                                const std::uint8_t* report, CFIndex length) {
    if (!report || length < 2)
        return kIOReturnBadArgument;
    if (type != kIOHIDReportTypeFeature || reportID != kBrightnessReportID)
        return kIOReturnUnsupported;
    if (removed_)
        return kIOReturnNotAttached;
    long long max = 0;
    if (IOReturn status = readMax(&max))
        return status;
    unsigned raw = report[0] | static_cast<unsigned>(report[1]) << 8;
    long long value = std::llround(raw * static_cast<double>(max) / 65535.0);
    int error = writeAttribute(folder_ + "/brightness", std::to_string(value) + "\n");
    IOReturn status = error ? statusForErrno(error) : kIOReturnSuccess;
    // Outside group video the file is not writable; logind sets a backlight
    // without an ID_SEAT of another seat for the owner of the active session
    // (systemd's src/login/logind-session-dbus.c, method_set_brightness).
    if (status == kIOReturnNotPermitted)
        status = logindSetBacklight(baseName(folder_), static_cast<std::uint32_t>(value));
    return status;
}

}  // namespace platform::linux_machine
