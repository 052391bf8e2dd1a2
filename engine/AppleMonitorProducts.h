// The Apple USB monitors the engine drives: vendor 0x05AC with one of twelve
// product IDs (not a range: 0x9216, for one, is not among them).
#pragma once

#include <array>
#include <cstdint>

#include "CoreFoundation/PropertyList.h"

namespace duolume {

inline constexpr std::int64_t kAppleUSBVendorID = 1452;  // 0x05AC

inline constexpr std::array<std::int64_t, 12> kAppleMonitorProductIDs = {
    0x9215, 0x9217, 0x9218, 0x9219, 0x921C, 0x921E, 0x9220, 0x9221, 0x9226, 0x9227, 0x9232, 0x9236,
};

// One dictionary per product, in table order, each with exactly "ProductID"
// and "VendorID".
NSArray appleMonitorMatchingList();

}  // namespace duolume
