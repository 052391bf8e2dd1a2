// A HID element's values: the field of a report descriptor it stands for
// (IOKit/hid/IOHIDElement.h has the operations on it).
#pragma once

#include <cstdint>

#include "base/CFBase.h"

enum IOHIDElementType : std::uint32_t {
    kIOHIDElementTypeInput_Misc = 1,
    kIOHIDElementTypeOutput = 129,
    kIOHIDElementTypeFeature = 257,
    kIOHIDElementTypeCollection = 513,
};

// The data byte of a Collection item (Device Class Definition for HID 1.11,
// section 6.2.2.6).
enum IOHIDElementCollectionType : std::uint32_t {
    kIOHIDElementCollectionTypePhysical = 0x00,
    kIOHIDElementCollectionTypeApplication = 0x01,
    kIOHIDElementCollectionTypeLogical = 0x02,
};

// One element. Devices own theirs for as long as they live.
struct __IOHIDElement {
    IOHIDElementType type = kIOHIDElementTypeInput_Misc;
    std::uint32_t usagePage = 0;
    std::uint32_t usage = 0;
    std::uint32_t reportID = 0;     // 0: the device numbers no reports
    std::uint32_t reportSize = 0;   // bits of one value
    std::uint32_t reportCount = 0;  // values in the field
    CFIndex logicalMin = 0;
    CFIndex logicalMax = 0;
    bool constant = false;  // padding: carries no data
    IOHIDElementCollectionType collectionType = kIOHIDElementCollectionTypePhysical;
    // Where the collection that holds this element sits in the device's list,
    // counted from this element (so a copy of the whole list keeps it): -2 is
    // two places before. 0 for an element of no collection.
    std::int32_t parentOffset = 0;
    bool operator==(const __IOHIDElement&) const = default;
};
using IOHIDElementRef = const __IOHIDElement*;
