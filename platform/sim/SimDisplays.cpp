#include "sim/SimDisplays.h"

#include <algorithm>
#include <cstdio>

namespace platform::sim {

namespace {
// DisplayServices' status for a display it does not drive.
constexpr int kDisplayServicesUnknownDisplay = 1001;
}  // namespace

SimDisplay& SimDisplays::addDisplay(SimDisplay display) {
    active.push_back(display);
    return active.back();
}

SimDisplay& SimDisplays::addBuiltinDisplay(CGDirectDisplayID id, double brightness) {
    SimDisplay d{id, true, 0x610, 0xa051, 0, brightness};
    addService(infoDictionary(d.vendor, d.model), id);
    return addDisplay(d);
}

SimDisplay& SimDisplays::addExternalDisplay(CGDirectDisplayID id, double brightness) {
    return addDisplay(SimDisplay{id, false, 0x5ac, 0x9226, 0x1000 + id, brightness});
}

SimDisplay* SimDisplays::find(CGDirectDisplayID id) {
    auto it = std::find_if(active.begin(), active.end(), [id](auto& d) { return d.id == id; });
    return it == active.end() ? nullptr : &*it;
}

void SimDisplays::setPresent(OptionalDisplayOperation op, bool isPresent) {
    if (isPresent)
        present.insert(op);
    else
        present.erase(op);
}

void SimDisplays::setAllOptionalOperationsPresent() {
    using Op = OptionalDisplayOperation;
    present = {Op::DisplayServicesGetBrightness,
               Op::DisplayServicesSetBrightness,
               Op::DisplayServicesCanChangeBrightness,
               Op::DisplayServicesRegisterForBrightnessChangeNotifications,
               Op::DisplayServicesUnregisterForBrightnessChangeNotifications,
               Op::CoreDisplayGetUserBrightness,
               Op::CoreDisplaySetUserBrightness};
}

SimDisplayService& SimDisplays::addService(std::optional<PlistDictionary> info,
                                           CGDirectDisplayID display) {
    SimDisplayService s;
    s.handle = nextServiceHandle_++;
    s.info = std::move(info);
    s.display = display;
    services.push_back(std::move(s));
    return services.back();
}

SimDisplayService* SimDisplays::findService(io_service_t handle) {
    auto it = std::find_if(services.begin(), services.end(),
                           [handle](auto& s) { return s.handle == handle; });
    return it == services.end() ? nullptr : &*it;
}

PlistDictionary SimDisplays::infoDictionary(std::int64_t vendor, std::int64_t product,
                                            std::optional<std::int64_t> serial) {
    PlistDictionary d;
    d["DisplayVendorID"] = PlistValue::integer(vendor);
    d["DisplayProductID"] = PlistValue::integer(product);
    if (serial)
        d["DisplaySerialNumber"] = PlistValue::integer(*serial);
    return d;
}

CGError SimDisplays::activeDisplays(std::vector<CGDirectDisplayID>& displays) {
    displays.clear();
    if (listStatus != kCGErrorSuccess)
        return listStatus;
    for (const auto& d : active)
        displays.push_back(d.id);
    return kCGErrorSuccess;
}

bool SimDisplays::isBuiltin(CGDirectDisplayID display) {
    auto* d = find(display);
    return d && d->builtin;
}

std::uint32_t SimDisplays::vendorNumber(CGDirectDisplayID display) {
    auto* d = find(display);
    return d ? d->vendor : 0;
}

std::uint32_t SimDisplays::modelNumber(CGDirectDisplayID display) {
    auto* d = find(display);
    return d ? d->model : 0;
}

std::uint32_t SimDisplays::serialNumber(CGDirectDisplayID display) {
    auto* d = find(display);
    return d ? d->serial : 0;
}

int SimDisplays::displayServicesGetBrightness(CGDirectDisplayID display, float* brightness) {
    if (displayServicesGetStatus != 0)
        return displayServicesGetStatus;
    auto* d = find(display);
    if (!d || !d->builtin)
        return kDisplayServicesUnknownDisplay;
    *brightness = static_cast<float>(d->brightness);
    return 0;
}

int SimDisplays::displayServicesSetBrightness(CGDirectDisplayID display, float brightness) {
    if (displayServicesSetStatus != 0)
        return displayServicesSetStatus;
    auto* d = find(display);
    if (!d || !d->builtin)
        return kDisplayServicesUnknownDisplay;
    writes.push_back({"DisplayServicesSetBrightness", display, brightness});
    d->brightness = brightness;
    return 0;
}

bool SimDisplays::displayServicesCanChangeBrightness(CGDirectDisplayID display) {
    auto* d = find(display);
    return canChangeBrightness && d && d->builtin;
}

int SimDisplays::displayServicesRegisterForBrightnessChangeNotifications(
    CGDirectDisplayID display, CGDirectDisplayID observer,
    DisplayServicesBrightnessChangeCallback callback) {
    auto* d = find(display);
    if (!d || !d->builtin || !callback)
        return kDisplayServicesUnknownDisplay;
    if (!changeSource_) {
        // Delivered by the run loop of the thread that registered first.
        changeSource_ = CFRunLoopSourceCreate([this] {
            while (!changes_.empty()) {
                auto [changed, value] = changes_.front();
                changes_.pop_front();
                changeObservers_.deliver(changed, value);
            }
        });
        CFRunLoopAddSource(CFRunLoopGetCurrent(), changeSource_, kCFRunLoopCommonModes);
    }
    changeObservers_.add(display, observer, std::move(callback));
    return 0;
}

int SimDisplays::displayServicesUnregisterForBrightnessChangeNotifications(
    CGDirectDisplayID display, CGDirectDisplayID observer) {
    return changeObservers_.remove(display, observer) ? 0 : kDisplayServicesUnknownDisplay;
}

void SimDisplays::changeBrightnessElsewhere(CGDirectDisplayID display, double brightness) {
    if (auto* d = find(display))
        d->brightness = brightness;
    if (!changeSource_)
        return;  // nobody has registered yet
    changes_.emplace_back(display, brightness);
    CFRunLoopSourceSignal(changeSource_);
}

double SimDisplays::coreDisplayGetUserBrightness(CGDirectDisplayID display) {
    auto* d = find(display);
    return d ? d->brightness : 0.0;
}

void SimDisplays::coreDisplaySetUserBrightness(CGDirectDisplayID display, double brightness) {
    writes.push_back({"CoreDisplay_Display_SetUserBrightness", display, brightness});
    if (auto* d = find(display))
        d->brightness = brightness;
}

std::vector<io_service_t> SimDisplays::displayConnectServices() {
    std::vector<io_service_t> handles;
    for (const auto& s : services)
        handles.push_back(s.handle);
    return handles;
}

std::optional<PlistDictionary> SimDisplays::displayInfoDictionary(io_service_t service,
                                                                  IOOptionBits) {
    auto* s = findService(service);
    if (!s)
        return std::nullopt;
    return s->info;
}

IOReturn SimDisplays::parameterCall(const SimDisplayService* service,
                                    IOReturn SimDisplayService::*scripted, const std::string& key) {
    if (!service)
        return kIOReturnBadArgument;
    if (service->*scripted != kIOReturnSuccess)
        return service->*scripted;
    return key == "brightness" ? kIOReturnSuccess : kIOReturnUnsupported;
}

IOReturn SimDisplays::getFloatParameter(io_service_t service, IOOptionBits, const std::string& key,
                                        float* value) {
    auto* s = findService(service);
    if (IOReturn status = parameterCall(s, &SimDisplayService::getStatus, key))
        return status;
    auto* d = find(s->display);
    *value = d ? static_cast<float>(d->brightness) : s->ownBrightness;
    return kIOReturnSuccess;
}

IOReturn SimDisplays::setFloatParameter(io_service_t service, IOOptionBits, const std::string& key,
                                        float value) {
    auto* s = findService(service);
    if (IOReturn status = parameterCall(s, &SimDisplayService::setStatus, key))
        return status;
    writes.push_back({"IODisplaySetFloatParameter", service, value});
    if (auto* d = find(s->display))
        d->brightness = value;
    else
        s->ownBrightness = value;
    return kIOReturnSuccess;
}

HardwareFinding SimDisplays::builtinPanelFinding() {
    if (present.count(OptionalDisplayOperation::DisplayServicesSetBrightness))
        return {"DisplayServices",
                canChangeBrightness ? FindingReason::InUse : FindingReason::NoSession,
                canChangeBrightness ? "" : "refuses to change the brightness"};
    if (services.empty())
        return {"(none)", FindingReason::NotPresent, "no display service"};
    const auto& service = services.front();
    char name[32];
    std::snprintf(name, sizeof name, "service 0x%x", service.handle);
    return {
        name,
        service.setStatus == kIOReturnSuccess ? FindingReason::InUse : FindingReason::Unreadable,
        "brightness parameter"};
}

std::optional<BuiltinRouteKind> SimDisplays::builtinRouteKind(int way) {
    const auto found = routes.find(way);
    if (found == routes.end())
        return std::nullopt;
    return found->second.kind;
}

}  // namespace platform::sim
