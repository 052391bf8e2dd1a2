// HID elements: the fields a device's report descriptor declares, each with
// its usage, its report and its logical range, and the collections that hold
// them.
//
// A device's elements come in the order its descriptor declares them, one per
// main item (its usage the item's first). Fields of one report follow each
// other on the wire in that order, constant (padding) fields included, so
// the bit position of a field is the sum of the sizes before it in its report.
// A collection is an element of its own, before the elements it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CoreFoundation/CFBase.h"
#include "CoreFoundation/PropertyList.h"

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

// Element matching dictionary keys (integer numbers).
inline const std::string kIOHIDElementTypeKey = "Type";
inline const std::string kIOHIDElementUsagePageKey = "UsagePage";
inline const std::string kIOHIDElementUsageKey = "Usage";
inline const std::string kIOHIDElementReportIDKey = "ReportID";

IOHIDElementType IOHIDElementGetType(IOHIDElementRef element);
std::uint32_t IOHIDElementGetUsagePage(IOHIDElementRef element);
std::uint32_t IOHIDElementGetUsage(IOHIDElementRef element);
std::uint32_t IOHIDElementGetReportID(IOHIDElementRef element);
std::uint32_t IOHIDElementGetReportSize(IOHIDElementRef element);
std::uint32_t IOHIDElementGetReportCount(IOHIDElementRef element);
CFIndex IOHIDElementGetLogicalMin(IOHIDElementRef element);
CFIndex IOHIDElementGetLogicalMax(IOHIDElementRef element);
// The collection that holds the element, or null at the top. The element must
// sit in its device's list (as IOHIDDeviceCopyMatchingElements hands it out).
IOHIDElementRef IOHIDElementGetParent(IOHIDElementRef element);
IOHIDElementCollectionType IOHIDElementGetCollectionType(IOHIDElementRef element);

// True when every key of `matching` names a property of the element with an
// equal value (keys other than the four above never match).
bool elementMatches(const __IOHIDElement& element, const NSDictionary& matching);
