#include "IOKit/hid/IOHIDDevice.h"

#include <cstdio>
#include <string>

#include "IOKit/hid/IOHIDElement.h"
#include "machine/Machine.h"

namespace {

std::string describe(IOHIDDeviceRef device, IOHIDReportType type, CFIndex reportID) {
    return (device ? device->description() : std::string("null")) + ", " + std::to_string(type) +
           ", " + std::to_string(reportID);
}

std::string bytes(const std::uint8_t* report, CFIndex length) {
    std::string text = "[";
    for (CFIndex i = 0; report && i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", report[i]);
        text += byte;
    }
    return text + "]";
}

}  // namespace

std::optional<PlistValue> IOHIDDeviceGetProperty(IOHIDDeviceRef device, const std::string& key) {
    if (!device)
        return std::nullopt;
    if (key == kIOHIDVendorIDKey)
        return PlistValue::integer(device->vendorID());
    if (key == kIOHIDProductIDKey)
        return PlistValue::integer(device->productID());
    return std::nullopt;
}

IOReturn IOHIDDeviceGetReport(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                              std::uint8_t* report, CFIndex* pReportLength) {
    platform::Machine::current().recordCall(
        "IOHIDDeviceGetReport(" + describe(device, reportType, reportID) + ", " +
        std::to_string(pReportLength ? *pReportLength : 0) + ")");
    if (!device || !report || !pReportLength || *pReportLength < 0)
        return kIOReturnBadArgument;
    return device->getReport(reportType, reportID, report, pReportLength);
}

IOReturn IOHIDDeviceSetReport(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                              const std::uint8_t* report, CFIndex reportLength) {
    platform::Machine::current().recordCall(
        "IOHIDDeviceSetReport(" + describe(device, reportType, reportID) + ", " +
        bytes(report, reportLength) + ", " + std::to_string(reportLength) + ")");
    if (!device || !report || reportLength < 0)
        return kIOReturnBadArgument;
    return device->setReport(reportType, reportID, report, reportLength);
}

IOReturn IOHIDDeviceClose(IOHIDDeviceRef device, IOOptionBits) {
    platform::Machine::current().recordCall(
        "IOHIDDeviceClose(" + (device ? device->description() : std::string("null")) + ")");
    if (!device)
        return kIOReturnBadArgument;
    device->close();
    return kIOReturnSuccess;
}

std::vector<IOHIDElementRef> IOHIDDeviceCopyMatchingElements(IOHIDDeviceRef device,
                                                             const NSDictionary* matching,
                                                             IOOptionBits) {
    std::vector<IOHIDElementRef> found;
    if (!device)
        return found;
    for (const auto& element : device->elements()) {
        if (!matching || elementMatches(element, *matching))
            found.push_back(&element);
    }
    return found;
}
