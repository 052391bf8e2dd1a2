#include "IOKit/hid/IOHIDElement.h"

#include <optional>

IOHIDElementType IOHIDElementGetType(IOHIDElementRef e) {
    return e ? e->type : IOHIDElementType{};
}
std::uint32_t IOHIDElementGetUsagePage(IOHIDElementRef e) {
    return e ? e->usagePage : 0;
}
std::uint32_t IOHIDElementGetUsage(IOHIDElementRef e) {
    return e ? e->usage : 0;
}
std::uint32_t IOHIDElementGetReportID(IOHIDElementRef e) {
    return e ? e->reportID : 0;
}
std::uint32_t IOHIDElementGetReportSize(IOHIDElementRef e) {
    return e ? e->reportSize : 0;
}
std::uint32_t IOHIDElementGetReportCount(IOHIDElementRef e) {
    return e ? e->reportCount : 0;
}
CFIndex IOHIDElementGetLogicalMin(IOHIDElementRef e) {
    return e ? e->logicalMin : 0;
}
CFIndex IOHIDElementGetLogicalMax(IOHIDElementRef e) {
    return e ? e->logicalMax : 0;
}
IOHIDElementRef IOHIDElementGetParent(IOHIDElementRef e) {
    return e && e->parentOffset ? e + e->parentOffset : nullptr;
}
IOHIDElementCollectionType IOHIDElementGetCollectionType(IOHIDElementRef e) {
    return e ? e->collectionType : kIOHIDElementCollectionTypePhysical;
}

bool elementMatches(const __IOHIDElement& element, const NSDictionary& matching) {
    for (const auto& [key, value] : matching) {
        std::optional<std::int64_t> wanted = value.integerValue();
        if (!wanted || value.kind() == PlistValue::Kind::Boolean)
            return false;
        std::int64_t have;
        if (key == kIOHIDElementTypeKey)
            have = element.type;
        else if (key == kIOHIDElementUsagePageKey)
            have = element.usagePage;
        else if (key == kIOHIDElementUsageKey)
            have = element.usage;
        else if (key == kIOHIDElementReportIDKey)
            have = element.reportID;
        else
            return false;
        if (have != *wanted)
            return false;
    }
    return true;
}
