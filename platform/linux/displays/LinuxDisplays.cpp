#include "linux/displays/LinuxDisplays.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "linux/devices/DrmConnectors.h"
#include "linux/devices/Sysroot.h"
#include "linux/displays/Backlights.h"
#include "linux/displays/LogindBrightness.h"
#include "linux/displays/LogindSender.h"
#include "machine/Machine.h"

namespace platform::linux_machine {
namespace {

// Display service handles live in their own range, apart from other services.
constexpr io_service_t kFirstBacklightHandle = 0x00B10001;
// How long a program that may wait (the agent) waits for the desktop's route
// before its first write: each question of the look waits at most
// DesktopBus::kAskTimeoutMs, and a session has one or two services to ask.
constexpr std::chrono::milliseconds kRouteWait{2500};

constexpr const char* kBrightnessKey = "brightness";

EdidIdentity identityOf(CGDirectDisplayID display) {
    auto connector = findDrmConnector(display);
    return connector ? connectorIdentity(*connector) : EdidIdentity{};
}

}  // namespace

LinuxDisplays::LinuxDisplays()
    : changes_([this](CGDirectDisplayID display) -> std::optional<double> {
          float value = 0.0f;
          IOReturn status = onBuiltinBacklight(display, [&](const OpenBacklight& backlight) {
              return backlight.readFraction(&value);
          });
          return status == kIOReturnSuccess ? std::optional<double>(value) : std::nullopt;
      }),
      desktop_(
          [this](double brightness) {
              IOReturn status = onBuiltinBacklight(desktopDisplay_, [&](OpenBacklight& b) {
                  return writeBehindNoDesktop(b, brightness);
              });
              if (status != kIOReturnSuccess) {
                  char line[160];
                  std::snprintf(line, sizeof line,
                                "The built-in display's brightness that the desktop did not take "
                                "could not be written either (0x%x)",
                                status);
                  Machine::current().writeLog(line);
              }
          },
          [this](CGDirectDisplayID display, std::optional<double> brightness) {
              changes_.report(display, brightness);
          }) {}

template <typename Resolve, typename Operation>
IOReturn LinuxDisplays::onBacklight(Resolve resolve, Operation operation) {
    IOReturn status = kIOReturnSuccess;
    OpenBacklight* backlight = resolve(&status);
    if (backlight)
        status = operation(*backlight);
    // A device replaced since it was resolved: resolved again and tried once
    // more at once, so the same call still reaches it.
    if (deviceGone(status)) {
        kept_.forget();
        backlight = resolve(&status);
        if (backlight)
            status = operation(*backlight);
    }
    return status;
}

template <typename Operation>
IOReturn LinuxDisplays::onBuiltinBacklight(CGDirectDisplayID display, Operation operation) {
    return onBacklight([&](IOReturn* status) { return kept_.builtinOf(display, status); },
                       operation);
}

template <typename Operation>
IOReturn LinuxDisplays::onNamedBacklight(const std::string& name, Operation operation) {
    return onBacklight([&](IOReturn* status) { return kept_.named(name, status); }, operation);
}

CGError LinuxDisplays::activeDisplays(std::vector<CGDirectDisplayID>& displays) {
    displays.clear();
    checkDevices();  // the sync's one check for devices come or gone
    auto list = listDrmConnectors();
    if (!list.readable)
        return kCGErrorFailure;
    for (const auto& c : list.connectors) {
        if (c.active)
            displays.push_back(c.id);
    }
    return kCGErrorSuccess;
}

// Asked before every write of a fade step: kept since the last check for
// devices come or gone, which the active display list makes.
bool LinuxDisplays::isBuiltin(CGDirectDisplayID display) {
    return kept_.isBuiltinDisplay(display);
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
        case OptionalDisplayOperation::DisplayServicesRegisterForBrightnessChangeNotifications:
        case OptionalDisplayOperation::DisplayServicesUnregisterForBrightnessChangeNotifications:
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

void LinuxDisplays::useDesktopFor(CGDirectDisplayID display, const OpenBacklight& backlight) {
    if (desktop_.started())
        return;
    desktopDisplay_ = display;
    desktop_.start({display, backlight.backlight().connector.value_or(""), backlight.max(),
                    backlight.backlight().type});
}

// A program that may wait (the agent) lets the first look for the desktop's
// route end before it writes, so its first fade already goes that way; a
// window hands its values on and the route's thread writes the newest.
void LinuxDisplays::waitForTheDesktopRoute() {
    if (!Machine::current().mainThreadNeverWaits())
        desktop_.waitUntilLooked(kRouteWait);
}

// What the panel shows by the word of whoever drives it: a desktop service
// that announces every change says so itself (the backlight file may be
// under its animation or its dim); where the desktop put a value this
// process sent, that value; else the backlight's own reading.
int LinuxDisplays::displayServicesGetBrightness(CGDirectDisplayID display, float* brightness) {
    float value = 0.0f;
    IOReturn status = onBuiltinBacklight(display, [&](const OpenBacklight& backlight) {
        useDesktopFor(display, backlight);
        if (auto announced = desktop_.announced()) {
            value = static_cast<float>(*announced);
            return kIOReturnSuccess;
        }
        long long raw = 0;
        if (IOReturn read = backlight.readRaw(&raw))
            return read;
        auto sent = desktop_.explainedBy(raw);
        value = sent ? static_cast<float>(*sent) : backlight.fractionOf(raw);
        return kIOReturnSuccess;
    });
    if (status == kIOReturnSuccess && brightness)
        *brightness = value;
    return status;
}

// Handed to the desktop's brightness service where one drives the panel, or
// until it is known whether one does (it never waits), else written here.
int LinuxDisplays::displayServicesSetBrightness(CGDirectDisplayID display, float brightness) {
    return onBuiltinBacklight(display, [&](OpenBacklight& backlight) {
        useDesktopFor(display, backlight);
        waitForTheDesktopRoute();
        if (!desktop_.hand(brightness))
            return writeBehindNoDesktop(backlight, brightness);
        backlight.rememberWrite(std::nullopt);  // the desktop puts it where it will
        return kIOReturnSuccess;
    });
}

// A backlight that the compositor holds refuses a write with EBUSY (the DRM
// connector's luminance property, dri-devel 2026: sysfs writes fail while a
// compositor uses it); logind writes the same file, so it is not asked. The
// value stays this process's last, which the desktop's service gets as soon
// as it answers again; said once.
IOReturn LinuxDisplays::writeBehindNoDesktop(OpenBacklight& backlight, double brightness) {
    IOReturn status = backlight.writeFraction(brightness);
    if (status != kIOReturnBusy)
        return status;
    if (!compositorHoldsBacklightLogged_) {
        compositorHoldsBacklightLogged_ = true;
        Machine::current().writeLog("The built-in display's backlight " +
                                    backlight.backlight().name +
                                    " is held by the compositor (EBUSY); its brightness waits "
                                    "for the desktop's brightness service");
    }
    return kIOReturnSuccess;
}

bool LinuxDisplays::displayServicesCanChangeBrightness(CGDirectDisplayID display) {
    bool writable = false;
    IOReturn status = onBuiltinBacklight(display, [&](const OpenBacklight& backlight) {
        writable = backlight.writable();  // it was opened for writing, where allowed
        return kIOReturnSuccess;
    });
    if (status != kIOReturnSuccess)
        return false;
    if (writable || desktop_.route().way != BuiltinBrightnessWay::None)
        return true;
    // A window asks logind on another thread; until it has answered, a write
    // is tried, and logind's refusal logged.
    if (logindCallsMustNotWait())
        return logindSessionCanSetBrightnessKnown().value_or(true);
    return logindSessionCanSetBrightness();
}

int LinuxDisplays::displayServicesRegisterForBrightnessChangeNotifications(
    CGDirectDisplayID display, CGDirectDisplayID observer,
    DisplayServicesBrightnessChangeCallback callback) {
    if (!callback)
        return kIOReturnBadArgument;
    // Only the built-in display's changes are reported; the desktop's service
    // is asked from now on, which is where they come from.
    IOReturn status = onBuiltinBacklight(display, [&](const OpenBacklight& backlight) {
        useDesktopFor(display, backlight);
        return kIOReturnSuccess;
    });
    if (status != kIOReturnSuccess)
        return status;
    changes_.add(display, observer, std::move(callback));
    // The kernel's word, heard as it comes while anyone listens.
    kept_.watchBacklightChanges([this] { checkDevices(); });
    return status;
}

int LinuxDisplays::displayServicesUnregisterForBrightnessChangeNotifications(
    CGDirectDisplayID display, CGDirectDisplayID observer) {
    if (!changes_.remove(display, observer))
        return kIOReturnNotFound;
    if (changes_.observedDisplays().empty())
        kept_.unwatchBacklightChanges();
    return kIOReturnSuccess;
}

void LinuxDisplays::checkDevices() {
    kept_.refresh();
    auto events = kept_.takeBacklightChanges();
    if (events.empty())
        return;
    for (CGDirectDisplayID display : changes_.observedDisplays()) {
        std::optional<double> changed;
        onBuiltinBacklight(display, [&](const OpenBacklight& backlight) {
            return backlightChangedByOthers(backlight, events, &changed);
        });
        if (changed)
            changes_.report(display, changed);
    }
}

// The kernel sends a backlight's "change" uevent with SOURCE=hotkey when its
// driver tells of a change the firmware made (backlight_force_update with
// BACKLIGHT_UPDATE_HOTKEY, which first takes the value from the hardware into
// the `brightness` file), and with SOURCE=sysfs after every write of
// `brightness` (backlight_device_set_brightness, also when the write was
// refused), both through backlight_generate_event; Linux,
// drivers/video/backlight/backlight.c, mainline of 2025. A write through
// systemd-logind's SetBrightness is a sysfs write of logind's. So a hotkey is
// always someone else; a write is someone else's only when the value the
// file now holds is not what this process last wrote or asked for. Several
// events read together are judged by the value now: this process's own
// writes of a fade leave its last value there.
IOReturn LinuxDisplays::backlightChangedByOthers(const OpenBacklight& backlight,
                                                 const std::vector<DeviceEvent>& events,
                                                 std::optional<double>* changed) {
    bool hotkey = false, written = false;
    for (const auto& event : events) {
        if (event.name == backlight.backlight().name)
            (event.property("SOURCE") == "hotkey" ? hotkey : written) = true;
    }
    // A desktop's service that announces every change tells of its person's
    // changes itself; it writes the panel in its own terms and time.
    if (!hotkey && (!written || !desktop_.backlightTellsOfOthers()))
        return kIOReturnSuccess;
    long long raw = 0;
    if (IOReturn status = backlight.readRaw(&raw))
        return status;
    if (hotkey || (!backlight.lastWriteExplains(raw) && !desktop_.explainedBy(raw)))
        *changed = backlight.fractionOf(raw);
    return kIOReturnSuccess;
}

void LinuxDisplays::lookForTheDesktop() {
    std::vector<CGDirectDisplayID> displays;
    activeDisplays(displays);
    for (CGDirectDisplayID display : displays) {
        if (!isBuiltin(display))
            continue;
        onBuiltinBacklight(display, [&](const OpenBacklight& backlight) {
            useDesktopFor(display, backlight);
            return kIOReturnSuccess;
        });
        return;
    }
}

// A program that may wait (the agent) starts looking when it first asks, so
// that its first write to the panel already goes the desktop's way: one that
// was left to the desktop's automatic brightness until then would otherwise
// be written behind the desktop's back. A window's thread lists no devices.
BuiltinBrightnessRoute LinuxDisplays::builtinBrightnessRoute() {
    if (!desktop_.started() && !Machine::current().mainThreadNeverWaits())
        lookForTheDesktop();
    waitForTheDesktopRoute();
    BuiltinBrightnessRoute route = desktop_.route();
    if (route.way != BuiltinBrightnessWay::None || !desktop_.started())
        return route;
    // Written here: what the kept backlight allows.
    IOReturn status = kIOReturnSuccess;
    if (OpenBacklight* backlight = kept_.builtinOf(desktopDisplay_, &status)) {
        route.way = wayNumber(backlight->writable() ? BuiltinBrightnessWay::BacklightFile
                                                    : BuiltinBrightnessWay::Logind);
    }
    return route;
}

std::optional<BuiltinRouteKind> LinuxDisplays::builtinRouteKind(int way) {
    if (const auto known = wayNumbered(way))
        return kindOf(*known);
    return std::nullopt;
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
    checkDevices();
    for (const auto& b : kept_.list())
        services.push_back(handleFor(b.name));
    return services;
}

std::optional<PlistDictionary> LinuxDisplays::displayInfoDictionary(io_service_t service,
                                                                    IOOptionBits) {
    const std::string* name = backlightNamed(service);
    if (!name)
        return std::nullopt;
    IOReturn status = kIOReturnSuccess;
    OpenBacklight* opened = kept_.named(*name, &status);
    if (!opened)
        return std::nullopt;
    const Backlight* backlight = &opened->backlight();
    PlistDictionary info;
    // A backlight that belongs to no known connector carries no identity, so
    // it never matches a display.
    if (backlight->connector) {
        EdidIdentity id = kept_.identityOfConnector(*backlight->connector);
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
    return onNamedBacklight(
        *name, [&](const OpenBacklight& backlight) { return backlight.readFraction(value); });
}

IOReturn LinuxDisplays::setFloatParameter(io_service_t service, IOOptionBits,
                                          const std::string& key, float value) {
    const std::string* name = backlightNamed(service);
    if (!name)
        return kIOReturnBadArgument;
    if (key != kBrightnessKey)
        return kIOReturnUnsupported;
    // The display service's own parameter is the sysfs file alone.
    return onNamedBacklight(*name, [&](OpenBacklight& backlight) {
        return backlight.writeFraction(value, OpenBacklight::Refused::Fail);
    });
}

HardwareFinding LinuxDisplays::builtinPanelFinding() {
    checkDevices();
    const Backlight* builtin = nullptr;
    for (const auto& b : kept_.list()) {
        if (b.builtin) {
            builtin = &b;
            break;
        }
    }
    if (!builtin)
        return {"(none)", FindingReason::NotPresent,
                "no backlight of a built-in panel in " + underSysroot("/sys/class/backlight")};
    IOReturn status = kIOReturnSuccess;
    OpenBacklight* opened = kept_.named(builtin->name, &status);
    if (!opened) {
        char text[64];
        std::snprintf(text, sizeof text, "cannot be opened (0x%x)", status);
        return {builtin->name, FindingReason::Unreadable, text};
    }
    std::string detail = builtin->connector.value_or("no connector") +
                         (builtin->type.empty() ? "" : ", " + builtin->type) + ", 0 to " +
                         std::to_string(opened->max());
    if (opened->writable())
        return {builtin->name, FindingReason::InUse, detail + ", written directly"};
    // logind lets only an active session with a seat change a backlight.
    if (logindSessionCanSetBrightness())
        return {builtin->name, FindingReason::InUse, detail + ", written through systemd-logind"};
    return {builtin->name, FindingReason::NoSession, detail};
}

}  // namespace platform::linux_machine
