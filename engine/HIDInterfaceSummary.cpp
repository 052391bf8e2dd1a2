#include "engine/HIDInterfaceSummary.h"

#include <cstdio>

namespace duolume {
namespace {

constexpr int kMostFieldsListed = 16;

std::string usageText(IOHIDElementRef e) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%04x/0x%04x", IOHIDElementGetUsagePage(e),
                  IOHIDElementGetUsage(e));
    return text;
}

const char* kindText(IOHIDElementType type) {
    switch (type) {
        case kIOHIDElementTypeFeature:
            return "feature";
        case kIOHIDElementTypeOutput:
            return "output";
        default:
            return "input";
    }
}

std::string fieldText(IOHIDElementRef e) {
    std::string text = usageText(e) + " " + std::to_string(IOHIDElementGetReportSize(e)) + " bits";
    if (IOHIDElementGetReportCount(e) != 1)
        text += " x" + std::to_string(IOHIDElementGetReportCount(e));
    return text + " " + std::to_string(IOHIDElementGetLogicalMin(e)) + ".." +
           std::to_string(IOHIDElementGetLogicalMax(e));
}

IOHIDElementRef topLevel(IOHIDElementRef e) {
    IOHIDElementRef top = nullptr;
    for (IOHIDElementRef p = IOHIDElementGetParent(e); p; p = IOHIDElementGetParent(p))
        top = p;
    return top;
}

// The data fields of one top-level collection (or of none), in order.
struct Group {
    IOHIDElementRef collection;
    std::vector<IOHIDElementRef> fields;
};

std::vector<Group> groups(const std::vector<IOHIDElementRef>& elements) {
    std::vector<Group> found;
    for (IOHIDElementRef e : elements) {
        const bool collection = IOHIDElementGetType(e) == kIOHIDElementTypeCollection;
        const IOHIDElementRef top = collection && !IOHIDElementGetParent(e) ? e : topLevel(e);
        if (found.empty() || found.back().collection != top)
            found.push_back({top, {}});
        if (!collection && !e->constant)
            found.back().fields.push_back(e);
    }
    return found;
}

}  // namespace

std::string describeHIDInterface(const std::vector<IOHIDElementRef>& elements) {
    if (elements.empty())
        return "nothing (no readable report descriptor)";
    std::string text;
    int listed = 0, left = 0;
    for (const Group& g : groups(elements)) {
        if (listed == kMostFieldsListed) {
            left += static_cast<int>(g.fields.size());
            continue;
        }
        if (!text.empty())
            text += "; ";
        text += g.collection ? "collection " + usageText(g.collection) + ":"
                             : "outside any collection:";
        if (g.fields.empty())
            text += " no data fields";
        IOHIDElementRef previous = nullptr;
        for (IOHIDElementRef e : g.fields) {
            if (listed == kMostFieldsListed) {
                ++left;
                continue;
            }
            const bool sameReport = previous &&
                                    IOHIDElementGetType(e) == IOHIDElementGetType(previous) &&
                                    IOHIDElementGetReportID(e) == IOHIDElementGetReportID(previous);
            if (sameReport) {
                text += ", ";
            } else {
                text += std::string(previous ? "), " : " ") + kindText(IOHIDElementGetType(e)) +
                        " report " + std::to_string(IOHIDElementGetReportID(e)) + " (";
            }
            text += fieldText(e);
            previous = e;
            ++listed;
        }
        if (previous)
            text += ")";
    }
    if (left)
        text += "; and " + std::to_string(left) + " more fields";
    return text;
}

}  // namespace duolume
