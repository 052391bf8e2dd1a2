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

#include "base/CFBase.h"
#include "base/IOHIDElementTypes.h"
#include "base/PropertyList.h"

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
