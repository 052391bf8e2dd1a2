#include "engine/AppleMonitorProducts.h"

#include "IOKit/hid/IOHIDManager.h"
#include "formats/Edid.h"

namespace duolume {
namespace {

void addProduct(NSArray& list, std::int64_t product) {
    NSDictionary match;
    match[kIOHIDProductIDKey] = PlistValue::integer(product);
    match[kIOHIDVendorIDKey] = PlistValue::integer(kAppleUSBVendorID);
    list.push_back(PlistValue::dictionary(std::move(match)));
}

}  // namespace

const AppleDisplayProduct* moreAppleDisplayProduct(std::int64_t product) {
    for (const auto& p : kMoreAppleDisplayProducts)
        if (p.productID == product)
            return &p;
    return nullptr;
}

NSArray appleMonitorMatchingList() {
    NSArray list;
    list.reserve(kAppleMonitorProductIDs.size() + kMoreAppleDisplayProducts.size());
    for (std::int64_t product : kAppleMonitorProductIDs)
        addProduct(list, product);
    for (const auto& p : kMoreAppleDisplayProducts)
        addProduct(list, p.productID);
    return list;
}

bool isAppleDisplay(const std::vector<std::uint8_t>& edid) {
    return platform::edidManufacturer(edid) == kAppleEdidManufacturer;
}

}  // namespace duolume
