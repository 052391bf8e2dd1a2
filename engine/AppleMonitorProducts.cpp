#include "engine/AppleMonitorProducts.h"

#include "IOKit/hid/IOHIDManager.h"

namespace duolume {

NSArray appleMonitorMatchingList() {
    NSArray list;
    list.reserve(kAppleMonitorProductIDs.size());
    for (std::int64_t product : kAppleMonitorProductIDs) {
        NSDictionary match;
        match[kIOHIDProductIDKey] = PlistValue::integer(product);
        match[kIOHIDVendorIDKey] = PlistValue::integer(kAppleUSBVendorID);
        list.push_back(PlistValue::dictionary(std::move(match)));
    }
    return list;
}

}  // namespace duolume
