#include "CoreGraphics/CGDirectDisplay.h"

#include <algorithm>
#include <string>
#include <vector>

#include "machine/DisplayBackend.h"
#include "machine/Machine.h"

namespace {
platform::DisplayBackend& displays() {
    return platform::Machine::current().displays();
}
void record(const std::string& call) {
    platform::Machine::current().recordCall(call);
}
}  // namespace

CGError CGGetActiveDisplayList(std::uint32_t maxDisplays, CGDirectDisplayID* activeDisplays,
                               CGDisplayCount* displayCount) {
    record("CGGetActiveDisplayList(" + std::to_string(maxDisplays) + ")");
    if (!displayCount)
        return kCGErrorIllegalArgument;
    std::vector<CGDirectDisplayID> all;
    CGError status = displays().activeDisplays(all);
    if (status != kCGErrorSuccess)
        return status;
    if (!activeDisplays) {
        *displayCount = static_cast<CGDisplayCount>(all.size());
        return kCGErrorSuccess;
    }
    const auto filled = std::min<std::size_t>(maxDisplays, all.size());
    std::copy_n(all.begin(), filled, activeDisplays);
    *displayCount = static_cast<CGDisplayCount>(filled);
    return kCGErrorSuccess;
}

boolean_t CGDisplayIsBuiltin(CGDirectDisplayID display) {
    record("CGDisplayIsBuiltin(" + std::to_string(display) + ")");
    return displays().isBuiltin(display) ? 1 : 0;
}

std::uint32_t CGDisplayVendorNumber(CGDirectDisplayID display) {
    record("CGDisplayVendorNumber(" + std::to_string(display) + ")");
    return displays().vendorNumber(display);
}

std::uint32_t CGDisplayModelNumber(CGDirectDisplayID display) {
    record("CGDisplayModelNumber(" + std::to_string(display) + ")");
    return displays().modelNumber(display);
}

std::uint32_t CGDisplaySerialNumber(CGDirectDisplayID display) {
    record("CGDisplaySerialNumber(" + std::to_string(display) + ")");
    return displays().serialNumber(display);
}
