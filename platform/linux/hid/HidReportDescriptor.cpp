#include "linux/hid/HidReportDescriptor.h"

#include <algorithm>

namespace platform::linux_machine {
namespace {

// Item types and tags of the HID report descriptor (Device Class Definition
// for HID 1.11, section 6.2.2).
constexpr int kMain = 0, kGlobal = 1, kLocal = 2;
constexpr int kInput = 0x8, kOutput = 0x9, kFeature = 0xB, kCollection = 0xA, kEndCollection = 0xC;
constexpr int kUsagePage = 0, kLogicalMin = 1, kLogicalMax = 2, kReportSize = 7, kReportID = 8,
              kReportCount = 9, kPush = 0xA, kPop = 0xB;
constexpr int kUsage = 0, kUsageMinimum = 1;

struct GlobalState {
    std::uint32_t usagePage = 0;
    std::int64_t logicalMinimum = 0;
    std::int64_t logicalMaximum = 0;
    // Raw bytes of the maximum, so it can be read unsigned where the minimum
    // shows the field is unsigned (descriptors often write 65535 as FF FF).
    std::uint32_t logicalMaximumRaw = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportID = 0;
};

std::int64_t signedValue(std::uint32_t raw, int size) {
    switch (size) {
        case 1:
            return static_cast<std::int8_t>(raw);
        case 2:
            return static_cast<std::int16_t>(raw);
        case 4:
            return static_cast<std::int32_t>(raw);
        default:
            return 0;
    }
}

std::int64_t effectiveMaximum(const GlobalState& g) {
    std::int64_t max = g.logicalMaximum;
    if (max < g.logicalMinimum && g.logicalMinimum >= 0)
        max = g.logicalMaximumRaw;
    return max;
}

// A usage of one or two bytes lives on the current usage page; one of four
// bytes carries its page in the upper half.
std::pair<std::uint32_t, std::uint32_t> fullUsage(const GlobalState& g, std::uint32_t raw,
                                                  int size) {
    if (size == 4)
        return {raw >> 16, raw & 0xFFFF};
    return {g.usagePage, raw};
}

IOHIDElementType elementType(int tag) {
    return tag == kFeature  ? kIOHIDElementTypeFeature
           : tag == kOutput ? kIOHIDElementTypeOutput
                            : kIOHIDElementTypeInput_Misc;
}

}  // namespace

std::vector<__IOHIDElement> hidReportElements(const std::vector<std::uint8_t>& d) {
    GlobalState g;
    std::vector<GlobalState> stack;
    std::vector<__IOHIDElement> elements;
    std::vector<std::size_t> open;  // the collections not yet ended, innermost last
    std::pair<std::uint32_t, std::uint32_t> usage{0, 0};  // the item's first
    bool haveUsage = false;
    std::size_t i = 0;
    while (i < d.size()) {
        std::uint8_t prefix = d[i];
        if (prefix == 0xFE) {  // long item: skip its data
            if (i + 2 >= d.size())
                break;
            i += 3 + d[i + 1];
            continue;
        }
        int size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + size > d.size())
            break;  // truncated
        std::uint32_t raw = 0;
        for (int b = 0; b < size; ++b)
            raw |= static_cast<std::uint32_t>(d[i + 1 + b]) << (8 * b);
        int type = (prefix >> 2) & 3;
        int tag = prefix >> 4;
        i += 1 + size;
        if (type == kGlobal) {
            switch (tag) {
                case kUsagePage:
                    g.usagePage = raw;
                    break;
                case kLogicalMin:
                    g.logicalMinimum = signedValue(raw, size);
                    break;
                case kLogicalMax:
                    g.logicalMaximum = signedValue(raw, size);
                    g.logicalMaximumRaw = raw;
                    break;
                case kReportSize:
                    g.reportSize = raw;
                    break;
                case kReportCount:
                    g.reportCount = raw;
                    break;
                case kReportID:
                    g.reportID = raw;
                    break;
                case kPush:
                    stack.push_back(g);
                    break;
                case kPop:
                    if (!stack.empty()) {
                        g = stack.back();
                        stack.pop_back();
                    }
                    break;
                default:
                    break;
            }
        } else if (type == kLocal) {
            if ((tag == kUsage || tag == kUsageMinimum) && !haveUsage) {
                usage = fullUsage(g, raw, size);
                haveUsage = true;
            }
        } else if (type == kMain) {
            if (tag == kInput || tag == kOutput || tag == kFeature || tag == kCollection) {
                __IOHIDElement e;
                e.usagePage = usage.first;
                e.usage = usage.second;
                if (!open.empty())
                    e.parentOffset = static_cast<std::int32_t>(open.back()) -
                                     static_cast<std::int32_t>(elements.size());
                if (tag == kCollection) {
                    e.type = kIOHIDElementTypeCollection;
                    e.collectionType = static_cast<IOHIDElementCollectionType>(raw & 0xFF);
                    open.push_back(elements.size());
                } else {
                    e.type = elementType(tag);
                    e.reportID = g.reportID;
                    e.reportSize = g.reportSize;
                    e.reportCount = g.reportCount;
                    e.logicalMin = g.logicalMinimum;
                    e.logicalMax = effectiveMaximum(g);
                    e.constant = raw & 1;
                }
                elements.push_back(e);
            } else if (tag == kEndCollection && !open.empty()) {
                open.pop_back();
            }
            usage = {0, 0};  // local items end with every main item
            haveUsage = false;
        }
    }
    return elements;
}

}  // namespace platform::linux_machine
