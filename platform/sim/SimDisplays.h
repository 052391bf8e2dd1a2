// Displays on the simulated machine: the active displays and their identity,
// the optional DisplayServices and CoreDisplay operations (each present or
// absent, with scripted statuses), and the display connection services
// ("IODisplayConnect") with their info dictionaries and brightness parameter.
//
// Every display shows a brightness; the three routes that reach the built-in
// display read and change that same value, and `writes` keeps a journal of
// every brightness a route handed over, in order.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "machine/BrightnessObserverTable.h"
#include "machine/DisplayBackend.h"

namespace platform::sim {

struct SimDisplay {
    CGDirectDisplayID id = 0;
    bool builtin = false;
    std::uint32_t vendor = 0;
    std::uint32_t model = 0;
    std::uint32_t serial = 0;  // 0: the display has none
    double brightness = 0.5;   // what the panel shows now
};

// A display connection service. When `display` names an existing display, its
// "brightness" parameter is that display's brightness; otherwise the service
// keeps its own value.
struct SimDisplayService {
    io_service_t handle = 0;
    std::optional<PlistDictionary> info;  // absent: no info dictionary at all
    CGDirectDisplayID display = 0;
    float ownBrightness = 0.0f;
    IOReturn getStatus = kIOReturnSuccess;
    IOReturn setStatus = kIOReturnSuccess;
};

// One brightness handed to the platform by one route.
struct SimBrightnessWrite {
    std::string operation;  // "DisplayServicesSetBrightness", ...
    std::uint32_t target;   // display identifier, or service handle for the parameter
    double value;           // as passed: single precision widened, or the double
    bool operator==(const SimBrightnessWrite&) const = default;
};

class SimDisplays : public DisplayBackend {
  public:
    // Active displays, in the platform's order (references stay valid as more are added).
    std::deque<SimDisplay> active;
    // The status of the active display list; anything but success fails it.
    CGError listStatus = kCGErrorSuccess;

    SimDisplay& addDisplay(SimDisplay display);
    // A built-in panel (vendor 0x610, model 0xa051, no serial) and its
    // connection service; returns the display.
    SimDisplay& addBuiltinDisplay(CGDirectDisplayID id = 1, double brightness = 0.5);
    SimDisplay& addExternalDisplay(CGDirectDisplayID id, double brightness = 0.5);
    SimDisplay* find(CGDirectDisplayID id);

    // Optional operations: which are present, their statuses and answers.
    std::set<OptionalDisplayOperation> present;
    void setPresent(OptionalDisplayOperation op, bool isPresent);
    // DisplayServices and CoreDisplay all present (a current system).
    void setAllOptionalOperationsPresent();
    int displayServicesGetStatus = 0;
    int displayServicesSetStatus = 0;
    bool canChangeBrightness = true;

    // Display connection services, in iteration order.
    std::deque<SimDisplayService> services;
    SimDisplayService& addService(std::optional<PlistDictionary> info,
                                  CGDirectDisplayID display = 0);
    SimDisplayService* findService(io_service_t handle);
    // An info dictionary with the given identity; a missing serial leaves its key out.
    static PlistDictionary infoDictionary(std::int64_t vendor, std::int64_t product,
                                          std::optional<std::int64_t> serial = std::nullopt);

    std::vector<SimBrightnessWrite> writes;

    // The machine's routes by number: their kind and name (SimTexts).
    struct Route {
        BuiltinRouteKind kind;
        std::string name;
    };
    std::map<int, Route> routes{{0, {BuiltinRouteKind::None, ""}},
                                {1, {BuiltinRouteKind::DesktopService, "the desktop's service"}},
                                {2, {BuiltinRouteKind::PrivilegedHelper, "the system's helper"}},
                                {3, {BuiltinRouteKind::BacklightFile, "the backlight's own file"}}};
    // What builtinBrightnessRoute() answers.
    BuiltinBrightnessRoute route{3, BuiltinBrightnessWhy::NoDesktopService};
    // Someone other than this process set `display` to `brightness` (the
    // desktop's keys, say): the display takes it, and every observer
    // registered for it hears of it when the run loop next turns.
    void changeBrightnessElsewhere(CGDirectDisplayID display, double brightness);

    // DisplayBackend
    CGError activeDisplays(std::vector<CGDirectDisplayID>& displays) override;
    bool isBuiltin(CGDirectDisplayID display) override;
    std::uint32_t vendorNumber(CGDirectDisplayID display) override;
    std::uint32_t modelNumber(CGDirectDisplayID display) override;
    std::uint32_t serialNumber(CGDirectDisplayID display) override;
    bool hasOperation(OptionalDisplayOperation op) override { return present.count(op) > 0; }
    int displayServicesGetBrightness(CGDirectDisplayID display, float* brightness) override;
    int displayServicesSetBrightness(CGDirectDisplayID display, float brightness) override;
    bool displayServicesCanChangeBrightness(CGDirectDisplayID display) override;
    int displayServicesRegisterForBrightnessChangeNotifications(
        CGDirectDisplayID display, CGDirectDisplayID observer,
        DisplayServicesBrightnessChangeCallback callback) override;
    int displayServicesUnregisterForBrightnessChangeNotifications(
        CGDirectDisplayID display, CGDirectDisplayID observer) override;
    BuiltinBrightnessRoute builtinBrightnessRoute() override { return route; }
    std::optional<BuiltinRouteKind> builtinRouteKind(int way) override;
    double coreDisplayGetUserBrightness(CGDirectDisplayID display) override;
    void coreDisplaySetUserBrightness(CGDirectDisplayID display, double brightness) override;
    std::vector<io_service_t> displayConnectServices() override;
    std::optional<PlistDictionary> displayInfoDictionary(io_service_t service,
                                                         IOOptionBits options) override;
    IOReturn getFloatParameter(io_service_t service, IOOptionBits options, const std::string& key,
                               float* value) override;
    IOReturn setFloatParameter(io_service_t service, IOOptionBits options, const std::string& key,
                               float value) override;
    // DisplayServices when present, else the first connection service.
    HardwareFinding builtinPanelFinding() override;

  private:
    // How a parameter call on `service` ends before it reaches the value: no
    // such service, the status scripted for the call, or a key other than
    // brightness.
    static IOReturn parameterCall(const SimDisplayService* service,
                                  IOReturn SimDisplayService::*scripted, const std::string& key);

    io_service_t nextServiceHandle_ = 0x3001;
    BrightnessObserverTable changeObservers_;
    std::deque<std::pair<CGDirectDisplayID, double>> changes_;
    CFRunLoopSourceRef changeSource_;
};

}  // namespace platform::sim
