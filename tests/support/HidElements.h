// The elements a monitor's report descriptor declares, for monitors on the
// simulated machine: a feature field, and fields inside a top-level
// collection such as the Monitor collection that newer displays keep their
// brightness in.
#pragma once

#include <cstdint>
#include <vector>

#include "IOKit/hid/IOHIDUsageTables.h"
#include "base/IOHIDElementTypes.h"

namespace testing_support {

// One value of `bits` bits, `min` to `max`, in feature report `report`; a
// brightness unless another usage is given.
inline __IOHIDElement feature(std::uint32_t report, std::uint32_t bits, CFIndex min, CFIndex max,
                              std::uint32_t page = kHIDPage_MonitorVirtual,
                              std::uint32_t usage = kHIDUsage_VESA_Brightness) {
    __IOHIDElement e;
    e.type = kIOHIDElementTypeFeature;
    e.usagePage = page;
    e.usage = usage;
    e.reportID = report;
    e.reportSize = bits;
    e.reportCount = 1;
    e.logicalMin = min;
    e.logicalMax = max;
    return e;
}

// `fields` inside one top-level collection of usage page/usage `page`/`usage`.
inline std::vector<__IOHIDElement> inCollection(std::uint32_t page, std::uint32_t usage,
                                                std::vector<__IOHIDElement> fields) {
    __IOHIDElement collection;
    collection.type = kIOHIDElementTypeCollection;
    collection.collectionType = kIOHIDElementCollectionTypeApplication;
    collection.usagePage = page;
    collection.usage = usage;
    std::vector<__IOHIDElement> elements{collection};
    for (auto& f : fields) {
        f.parentOffset = -static_cast<std::int32_t>(elements.size());
        elements.push_back(f);
    }
    return elements;
}

// The Monitor collection (usage page 0x80, usage 1).
inline std::vector<__IOHIDElement> inMonitorCollection(std::vector<__IOHIDElement> fields) {
    return inCollection(0x80, 0x01, std::move(fields));
}

}  // namespace testing_support
