#include "linux/LinuxDisplays.h"

#include <cmath>

#include "linux/Backlights.h"
#include "linux/DrmConnectors.h"
#include "linux/LogindBrightness.h"
#include "linux/SysfsFiles.h"

namespace platform::linux_machine {
namespace {

// Display service handles live in their own range, apart from other services.
constexpr io_service_t kFirstBacklightHandle = 0x00B10001;

constexpr const char* kBrightnessKey = "brightness";

EdidIdentity identityOf(CGDirectDisplayID display) {
    auto connector = findDrmConnector(display);
    return connector ? connectorIdentity(*connector) : EdidIdentity{};
}

// The backlight of a built-in display, the one DisplayServices works on. The
// backlight names its connector, whose name gives the display identifier.
std::optional<Backlight> builtinBacklightOf(CGDirectDisplayID display) {
    for (auto& b : listBacklights()) {
        if (b.builtin && b.connector && displayIdentifierFor(*b.connector) == display)
            return b;
    }
    return std::nullopt;
}

}  // namespace

CGError LinuxDisplays::activeDisplays(std::vector<CGDirectDisplayID>& displays) {
    displays.clear();
    auto list = listDrmConnectors();
    if (!list.readable)
        return kCGErrorFailure;
    for (const auto& c : list.connectors) {
        if (c.active)
            displays.push_back(c.id);
    }
    return kCGErrorSuccess;
}

bool LinuxDisplays::isBuiltin(CGDirectDisplayID display) {
    auto connector = findDrmConnector(display);
    return connector && connector->builtin;
}

std::uint32_t LinuxDisplays::vendorNumber(CGDirectDisplayID display) {
    return identityOf(display).vendor;
}

std::uint32_t LinuxDisplays::modelNumber(CGDirectDisplayID display) {
    return identityOf(display).product;
}

std::uint32_t LinuxDisplays::serialNumber(CGDirectDisplayID display) {
    return identityOf(display).serial;
}

bool LinuxDisplays::hasOperation(OptionalDisplayOperation op) {
    switch (op) {
        case OptionalDisplayOperation::DisplayServicesGetBrightness:
        case OptionalDisplayOperation::DisplayServicesSetBrightness:
        case OptionalDisplayOperation::DisplayServicesCanChangeBrightness:
            // Like a framework that has been loaded, DisplayServices stays
            // present once a built-in backlight was seen: a presence that
            // could vanish between a caller's test and its call would be a
            // call to a missing operation. A backlight gone later makes the
            // calls fail instead.
            if (!displayServicesPresent_)
                displayServicesPresent_ = hasBuiltinBacklight();
            return displayServicesPresent_;
        case OptionalDisplayOperation::CoreDisplayGetUserBrightness:
        case OptionalDisplayOperation::CoreDisplaySetUserBrightness:
            return false;
    }
    return false;
}

int LinuxDisplays::displayServicesGetBrightness(CGDirectDisplayID display, float* brightness) {
    auto backlight = builtinBacklightOf(display);
    if (!backlight)
        return kIOReturnNotFound;
    float value = 0.0f;
    IOReturn status = readBacklightFraction(*backlight, &value);
    if (status == kIOReturnSuccess && brightness)
        *brightness = value;
    return status;
}

int LinuxDisplays::displayServicesSetBrightness(CGDirectDisplayID display, float brightness) {
    auto backlight = builtinBacklightOf(display);
    if (!backlight)
        return kIOReturnNotFound;
    long long raw = 0;
    if (IOReturn status = backlightRawValueFor(*backlight, brightness, &raw))
        return status;
    IOReturn status = writeBacklightRaw(*backlight, raw);
    // A user without write access to sysfs may still change the backlight of
    // the session's own seat through logind.
    if (status == kIOReturnNotPermitted) {
        status = logindSetBacklight(backlight->name, static_cast<std::uint32_t>(raw));
    }
    return status;
}

bool LinuxDisplays::displayServicesCanChangeBrightness(CGDirectDisplayID display) {
    auto backlight = builtinBacklightOf(display);
    if (!backlight)
        return false;
    // Opening for writing changes nothing until something is written.
    if (writableAttribute(backlight->folder + "/brightness"))
        return true;
    return logindSessionCanSetBrightness();
}

// CoreDisplay has no counterpart on Linux; hasOperation() reports both
// operations absent, so these are never called.
double LinuxDisplays::coreDisplayGetUserBrightness(CGDirectDisplayID) {
    return 0.0;
}
void LinuxDisplays::coreDisplaySetUserBrightness(CGDirectDisplayID, double) {}

io_service_t LinuxDisplays::handleFor(const std::string& backlightName) {
    auto it = handles_.find(backlightName);
    if (it != handles_.end())
        return it->second;
    io_service_t handle = kFirstBacklightHandle + static_cast<io_service_t>(handles_.size());
    handles_.emplace(backlightName, handle);
    names_.emplace(handle, backlightName);
    return handle;
}

const std::string* LinuxDisplays::backlightNamed(io_service_t service) const {
    auto it = names_.find(service);
    return it == names_.end() ? nullptr : &it->second;
}

std::vector<io_service_t> LinuxDisplays::displayConnectServices() {
    std::vector<io_service_t> services;
    for (const auto& b : listBacklights())
        services.push_back(handleFor(b.name));
    return services;
}

std::optional<PlistDictionary> LinuxDisplays::displayInfoDictionary(io_service_t service,
                                                                    IOOptionBits) {
    const std::string* name = backlightNamed(service);
    if (!name)
        return std::nullopt;
    auto backlight = findBacklight(*name);
    if (!backlight)
        return std::nullopt;
    PlistDictionary info;
    // A backlight that belongs to no known connector carries no identity, so
    // it never matches a display.
    if (backlight->connector) {
        auto connector = findDrmConnectorNamed(*backlight->connector);
        EdidIdentity id = connector ? connectorIdentity(*connector) : EdidIdentity{};
        // The platform keeps these as signed 32-bit numbers.
        info["DisplayVendorID"] = PlistValue::integer(static_cast<std::int32_t>(id.vendor));
        info["DisplayProductID"] = PlistValue::integer(static_cast<std::int32_t>(id.product));
        info["DisplaySerialNumber"] = PlistValue::integer(static_cast<std::int32_t>(id.serial));
    }
    return info;
}

IOReturn LinuxDisplays::getFloatParameter(io_service_t service, IOOptionBits,
                                          const std::string& key, float* value) {
    const std::string* name = backlightNamed(service);
    if (!name || !value)
        return kIOReturnBadArgument;
    if (key != kBrightnessKey)
        return kIOReturnUnsupported;
    auto backlight = findBacklight(*name);
    if (!backlight)
        return kIOReturnNoDevice;
    return readBacklightFraction(*backlight, value);
}

IOReturn LinuxDisplays::setFloatParameter(io_service_t service, IOOptionBits,
                                          const std::string& key, float value) {
    const std::string* name = backlightNamed(service);
    if (!name)
        return kIOReturnBadArgument;
    if (key != kBrightnessKey)
        return kIOReturnUnsupported;
    auto backlight = findBacklight(*name);
    if (!backlight)
        return kIOReturnNoDevice;
    long long raw = 0;
    if (IOReturn status = backlightRawValueFor(*backlight, value, &raw))
        return status;
    return writeBacklightRaw(*backlight, raw);
}

}  // namespace platform::linux_machine
