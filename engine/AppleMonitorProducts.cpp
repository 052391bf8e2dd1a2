#include "engine/AppleMonitorProducts.h"

#include <algorithm>

#include "IOKit/hid/IOHIDManager.h"
#include "engine/DisplayEdid.h"

namespace duolume {
namespace {

void addProducts(NSArray& list, const auto& products) {
    for (std::int64_t product : products) {
        NSDictionary match;
        match[kIOHIDProductIDKey] = PlistValue::integer(product);
        match[kIOHIDVendorIDKey] = PlistValue::integer(kAppleUSBVendorID);
        list.push_back(PlistValue::dictionary(std::move(match)));
    }
}

}  // namespace

bool isNewerAppleDisplay(std::int64_t product) {
    return std::find(kNewerAppleDisplayProductIDs.begin(), kNewerAppleDisplayProductIDs.end(),
                     product) != kNewerAppleDisplayProductIDs.end();
}

NSArray appleMonitorMatchingList() {
    NSArray list;
    list.reserve(kAppleMonitorProductIDs.size() + kNewerAppleDisplayProductIDs.size());
    addProducts(list, kAppleMonitorProductIDs);
    addProducts(list, kNewerAppleDisplayProductIDs);
    return list;
}

bool isAppleDisplay(const std::vector<std::uint8_t>& edid) {
    return edidManufacturer(edid) == kAppleEdidManufacturer;
}

}  // namespace duolume
