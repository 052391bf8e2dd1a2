// Displays on the simulated machine.
// TODO(engine work): scripted active displays, optional operations, display
// connection services and journals.
#pragma once

#include "CoreGraphics/DisplayBackend.h"

namespace platform::sim {

class SimDisplays : public DisplayBackend {
public:
    CGError activeDisplays(std::vector<CGDirectDisplayID>& displays) override {
        displays.clear();
        return kCGErrorSuccess;
    }
    bool isBuiltin(CGDirectDisplayID) override { return false; }
    std::uint32_t vendorNumber(CGDirectDisplayID) override { return 0; }
    std::uint32_t modelNumber(CGDirectDisplayID) override { return 0; }
    std::uint32_t serialNumber(CGDirectDisplayID) override { return 0; }
    bool hasOperation(OptionalDisplayOperation) override { return false; }
    int displayServicesGetBrightness(CGDirectDisplayID, float*) override { return -1; }
    int displayServicesSetBrightness(CGDirectDisplayID, float) override { return -1; }
    bool displayServicesCanChangeBrightness(CGDirectDisplayID) override { return false; }
    double coreDisplayGetUserBrightness(CGDirectDisplayID) override { return 0; }
    void coreDisplaySetUserBrightness(CGDirectDisplayID, double) override {}
    std::vector<io_service_t> displayConnectServices() override { return {}; }
    std::optional<PlistDictionary> displayInfoDictionary(io_service_t, IOOptionBits) override {
        return std::nullopt;
    }
    IOReturn getFloatParameter(io_service_t, IOOptionBits, const std::string&, float*) override {
        return kIOReturnBadArgument;
    }
    IOReturn setFloatParameter(io_service_t, IOOptionBits, const std::string&, float) override {
        return kIOReturnBadArgument;
    }
};

}  // namespace platform::sim
