// What a machine provides for displays: the active display list and each
// display's identity (CoreGraphics), the optional DisplayServices and
// CoreDisplay brightness operations, and the display connection services
// ("IODisplayConnect") with their info dictionaries and float parameters.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/CFDictionaryRef.h"
#include "base/CGTypes.h"
#include "base/IOKitTypes.h"
#include "base/PropertyList.h"
#include "machine/BuiltinBrightnessRoute.h"
#include "machine/HardwareFindings.h"

// DisplayServices' brightness change notification, as its callback is
// reached: `observer` is the identifier given at registration, `userInfo`
// holds the new brightness (0.0 to 1.0) as a real number under "value".
using DisplayServicesBrightnessChangeCallback =
    std::function<void(CGDirectDisplayID observer, CFDictionaryRef userInfo)>;
inline constexpr const char* kDisplayServicesBrightnessValueKey = "value";

namespace platform {

// The weakly linked operations, each of which may be missing.
enum class OptionalDisplayOperation {
    DisplayServicesGetBrightness,
    DisplayServicesSetBrightness,
    DisplayServicesCanChangeBrightness,
    DisplayServicesRegisterForBrightnessChangeNotifications,
    DisplayServicesUnregisterForBrightnessChangeNotifications,
    CoreDisplayGetUserBrightness,
    CoreDisplaySetUserBrightness,
};

class DisplayBackend {
  public:
    virtual ~DisplayBackend() = default;

    // Every active display in the platform's order, or an error.
    virtual CGError activeDisplays(std::vector<CGDirectDisplayID>& displays) = 0;
    virtual bool isBuiltin(CGDirectDisplayID display) = 0;
    virtual std::uint32_t vendorNumber(CGDirectDisplayID display) = 0;
    virtual std::uint32_t modelNumber(CGDirectDisplayID display) = 0;
    virtual std::uint32_t serialNumber(CGDirectDisplayID display) = 0;

    virtual bool hasOperation(OptionalDisplayOperation op) = 0;
    // Only called while hasOperation() says the operation is present.
    virtual int displayServicesGetBrightness(CGDirectDisplayID display, float* brightness) = 0;
    virtual int displayServicesSetBrightness(CGDirectDisplayID display, float brightness) = 0;
    virtual bool displayServicesCanChangeBrightness(CGDirectDisplayID display) = 0;
    // `callback` runs on the main run loop each time someone other than this
    // process changed `display`'s brightness; status 0 on success.
    virtual int displayServicesRegisterForBrightnessChangeNotifications(
        CGDirectDisplayID display, CGDirectDisplayID observer,
        DisplayServicesBrightnessChangeCallback callback) = 0;
    virtual int displayServicesUnregisterForBrightnessChangeNotifications(
        CGDirectDisplayID display, CGDirectDisplayID observer) = 0;
    // Which way DisplayServices writes the built-in display now, and why.
    virtual BuiltinBrightnessRoute builtinBrightnessRoute() = 0;
    // The kind of the route this machine numbers `way`, or absent for a
    // number it does not know (another version's, say).
    virtual std::optional<BuiltinRouteKind> builtinRouteKind(int way) = 0;
    virtual double coreDisplayGetUserBrightness(CGDirectDisplayID display) = 0;
    virtual void coreDisplaySetUserBrightness(CGDirectDisplayID display, double brightness) = 0;

    // Display connection services in the platform's iteration order. Handles
    // are non-zero and stay valid while the process runs.
    virtual std::vector<io_service_t> displayConnectServices() = 0;
    // The service's info dictionary ("DisplayVendorID", "DisplayProductID",
    // "DisplaySerialNumber", ...), absent for an unknown handle.
    virtual std::optional<PlistDictionary> displayInfoDictionary(io_service_t service,
                                                                 IOOptionBits options) = 0;
    virtual IOReturn getFloatParameter(io_service_t service, IOOptionBits options,
                                       const std::string& key, float* value) = 0;
    virtual IOReturn setFloatParameter(io_service_t service, IOOptionBits options,
                                       const std::string& key, float value) = 0;

    // The built-in panel's brightness control that the display services use,
    // and whether this user may change it.
    virtual HardwareFinding builtinPanelFinding() = 0;
};

}  // namespace platform
