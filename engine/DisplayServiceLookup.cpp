// Finds the display connection service that belongs to a display by comparing
// vendor, product and serial numbers. Nothing is cached: every call walks the
// services afresh.
#include "CoreFoundation/CFNumber.h"
#include "CoreGraphics/CGDirectDisplay.h"
#include "Foundation/NSProcessInfo.h"
#include "IOKit/IOGraphicsLib.h"
#include "IOKit/IOKitLib.h"
#include "engine/BrightnessController.h"

namespace {

// The default main port under the name the running system knows.
mach_port_t defaultMainPort() {
    return NSProcessInfoIsOperatingSystemAtLeastVersion({12, 0, 0}) ? kIOMainPortDefault
                                                                    : kIOMasterPortDefault;
}

bool serviceBelongsToDisplay(io_service_t service, CGDirectDisplayID display) {
    CFDictionaryRef info = IODisplayCreateInfoDictionary(service, kIODisplayOnlyPreferredName);
    const PlistValue* vendorValue = nullptr;
    const PlistValue* productValue = nullptr;
    const bool hasVendor = CFDictionaryGetValueIfPresent(info, kDisplayVendorID, &vendorValue);
    const bool hasProduct = CFDictionaryGetValueIfPresent(info, kDisplayProductID, &productValue);
    if (!hasVendor || !hasProduct) {
        CFRelease(info);
        return false;
    }
    SInt32 vendor = 0;
    SInt32 product = 0;
    SInt32 serial = 0;  // a service without a serial number stands for serial 0
    CFNumberGetValue(vendorValue, kCFNumberSInt32Type, &vendor);
    CFNumberGetValue(productValue, kCFNumberSInt32Type, &product);
    const PlistValue* serialValue = nullptr;
    if (CFDictionaryGetValueIfPresent(info, kDisplaySerialNumber, &serialValue))
        CFNumberGetValue(serialValue, kCFNumberSInt32Type, &serial);

    const bool matches = CGDisplayVendorNumber(display) == static_cast<std::uint32_t>(vendor) &&
                         CGDisplayModelNumber(display) == static_cast<std::uint32_t>(product) &&
                         CGDisplaySerialNumber(display) == static_cast<std::uint32_t>(serial);
    CFRelease(info);
    return matches;
}

}  // namespace

io_service_t BrightnessController::IOServicePortFromCGDisplayID(CGDirectDisplayID display) {
    CFMutableDictionaryRef matching = IOServiceMatching("IODisplayConnect");
    io_iterator_t iterator = 0;
    if (IOServiceGetMatchingServices(defaultMainPort(), std::move(matching), &iterator) !=
        KERN_SUCCESS)
        return 0;

    io_service_t found = 0;
    while (io_service_t service = IOIteratorNext(iterator)) {
        if (serviceBelongsToDisplay(service, display)) {
            found = service;
            break;
        }
    }
    IOObjectRelease(iterator);
    return found;
}
