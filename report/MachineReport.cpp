#include "report/MachineReport.h"

#include <cstdio>

#include "DisplayServices/DisplayServices.h"
#include "Session/Session.h"
#include "engine/MonitorBrightnessField.h"
#include "machine/HardwareFindings.h"
#include "sensor/AmbientLightSensor.h"

namespace duolume {
namespace {

using platform::FindingReason;
using platform::HardwareFinding;

std::string reasonText(FindingReason reason) {
    switch (reason) {
        case FindingReason::InUse:
            return "in use";
        case FindingReason::NotPresent:
            return "not found";
        case FindingReason::PermissionDenied:
            return "permission denied";
        case FindingReason::NoDeviceNode:
            return "no device node";
        case FindingReason::NoSession:
            return "not writable, and no active local session may have it changed";
        case FindingReason::NotLux:
            return "reports in another unit than lux";
        case FindingReason::Unreadable:
            return "unreadable or garbled";
        case FindingReason::NotYetKnown:
            return "still being looked at";
        case FindingReason::SetAside:
            return "set aside for now";
    }
    return "unknown";
}

// The route's name as the machine gives it; it has none for no route.
std::string routeName(const Texts& texts, const std::string& machinesName) {
    return machinesName.empty() ? texts("nothing yet") : machinesName;
}

std::string whyText(platform::BuiltinBrightnessWhy why) {
    using Why = platform::BuiltinBrightnessWhy;
    switch (why) {
        case Why::DesktopServiceAnswers:
            return "the desktop's own brightness service answers";
        case Why::NotLookedYet:
            return "nothing has asked for the built-in display yet";
        case Why::LookingForDesktopService:
            return "the desktop's brightness service is being looked for";
        case Why::NoSessionBus:
            return "there is no session bus to ask";
        case Why::NoDesktopService:
            return "no desktop brightness service is on the session bus";
        case Why::DesktopServiceUnusable:
            return "the desktop's service lacks what a write needs";
        case Why::DesktopServiceFailed:
            return "the desktop's service failed a write; it is used again when it returns";
    }
    return "unknown";
}

std::string ddcStateText(DdcMonitors::State state) {
    using State = DdcMonitors::State;
    switch (state) {
        case State::Found:
            return "not asked yet";
        case State::Asking:
            return "being asked";
        case State::Attached:
            return "driven over DDC/CI";
        case State::Silent:
            return "does not answer DDC/CI";
        case State::Asleep:
            return "its output is off: asked once it is lit";
        case State::Apple:
            return "an Apple display: never sent DDC/CI";
        case State::NoEdid:
            return "no readable EDID: never sent DDC/CI";
    }
    return "unknown";
}

std::string line(const std::string& what, const HardwareFinding& f) {
    return what + " " + f.name + ": " + reasonText(f.reason) +
           (f.detail.empty() ? "" : ", " + f.detail);
}

// How the engine drives the monitor behind this interface, or why it does not.
struct Monitor {
    IOHIDDeviceRef device;
    bool attached;      // the engine drives it (a display's other interfaces are left alone)
    std::string field;  // how brightness is sent, or what the interface declares
    FindingReason access;
};

Monitor judged(IOHIDDeviceRef device) {
    const auto product = IOHIDDeviceGetProperty(device, kIOHIDProductIDKey);
    std::string field;
    const bool attached =
        judgeMonitorInterface(product ? product->integerValue().value_or(0) : 0,
                              IOHIDDeviceCopyMatchingElements(device, nullptr, 0), &field);
    return {device, attached, field, platform::hidDeviceAccess(device)};
}

const HardwareFinding* inUse(const std::vector<HardwareFinding>& findings) {
    for (const auto& f : findings)
        if (f.reason == FindingReason::InUse)
            return &f;
    return nullptr;
}

// The light source the shared sensor reads, chosen by its own rule.
std::vector<HardwareFinding> lightFindings() {
    if (AmbientLightSensor::sharedBackendChoice().backend ==
        AmbientLightSensor::Backend::Controller)
        return {platform::lightControllerFinding()};
    return platform::lightServiceClientFindings();
}

std::string estimateText(const Texts& texts, const platform::LightEstimateInUse& e) {
    using Cause = platform::LightEstimateCause;
    switch (e.cause) {
        case Cause::NoSensor:
            return text(texts, "Light: estimated from the sun at %@ (no light sensor).", {e.place});
        case Cause::LidClosed:
            return text(texts, "Light: estimated from the sun at %@ (the lid is closed).",
                        {e.place});
        case Cause::PanelOff:
            return text(texts, "Light: estimated from the sun at %@ (the built-in display is off).",
                        {e.place});
        case Cause::SensorStopped:
            return text(texts,
                        "Light: estimated from the sun at %@ (the light sensor has stopped).",
                        {e.place});
        case Cause::Preferred:
            return text(texts, "Light: estimated from the sun at %@ (chosen in this window).",
                        {e.place});
    }
    return "";
}

std::string sensorPart(const Texts& texts) {
    if (const auto estimate = lightEstimateInUse())
        return estimateText(texts, *estimate);
    const auto findings = lightFindings();
    if (const auto* f = inUse(findings))
        return text(texts, "Light sensor: %@.", {f->name});
    for (const auto& f : findings) {
        if (f.reason == FindingReason::NotYetKnown)
            return text(texts, "Looking for the light sensor.");
        if (f.reason == FindingReason::PermissionDenied || f.reason == FindingReason::Unreadable)
            return text(texts, "The light sensor %@ cannot be read.", {f.name});
    }
    return text(texts,
                "No light level: this computer has no ambient light sensor that Linux exposes, "
                "and its time zone names no place to estimate the light from the sun; the "
                "displays are left as they are.");
}

std::string agentPart(const Texts& texts, const StatusFacts& facts) {
    if (!facts.synchronisationOn || !facts.agentRunning)
        return "";
    if (*facts.agentRunning)
        return " " + text(texts, "The background agent is running.");
    return " " + text(texts, "The background agent is not running; to see why: %@",
                      {facts.agentLogCommand});
}

std::string monitorPart(const Texts& texts, const StatusFacts& facts) {
    std::string usable;
    std::optional<Monitor> unusable;
    for (IOHIDDeviceRef device : facts.monitors) {
        const Monitor m = judged(device);
        if (!m.attached)
            continue;  // another interface of a display, left alone on purpose
        if (m.access == FindingReason::InUse)
            usable += (usable.empty() ? "" : ", ") + productText(device) + " (" +
                      device->description() + ")";
        else if (!unusable || m.access == FindingReason::PermissionDenied)
            unusable = m;
    }
    if (!usable.empty())
        return text(texts, "Apple USB monitors: %@.", {usable});
    if (!unusable)
        return text(texts, "No Apple USB monitor attached.");
    if (unusable->access == FindingReason::PermissionDenied)
        return text(texts,
                    "An Apple USB monitor is attached but may not be opened (permission "
                    "denied): %@.",
                    {facts.monitorAccessFix});
    return text(texts, "An Apple USB monitor is attached but cannot be used: %@.",
                {texts(reasonText(unusable->access))});
}

std::string ddcPart(const Texts& texts, const StatusFacts& facts) {
    std::string names;
    for (const auto& d : facts.ddcMonitors) {
        if (d.state != DdcMonitors::State::Apple && d.state != DdcMonitors::State::NoEdid)
            names += (names.empty() ? "" : ", ") + d.name;
    }
    if (names.empty())
        return "";
    return " " + (facts.ddcMonitorsWanted
                      ? text(texts, "Other monitors (DDC/CI): %@.", {names})
                      : text(texts, "Other monitors (DDC/CI), switched off: %@.", {names}));
}

std::string ownersPart(const Texts& texts, const StatusFacts& facts) {
    std::string part;
    for (const auto kind : {DisplayKind::Builtin, DisplayKind::Monitors})
        if (const auto o = shownOwnership(facts, kind))
            part += " " +
                    text(texts, "%@: %@.", {kindLabel(texts, kind), describeOwnership(texts, *o)});
    return part;
}

std::string routePart(const Texts& texts, const StatusFacts& facts) {
    if (!shownOwnership(facts, DisplayKind::Builtin) || !facts.owners.builtinRoute)
        return "";
    const auto& route = *facts.owners.builtinRoute;
    return " " + text(texts, "Built-in display written through %@, because %@.",
                      {routeName(texts, facts.builtinRouteName), texts(whyText(route.why))});
}

std::string desktopPart(const Texts& texts, const StatusFacts& facts) {
    if (facts.desktopBrightness != platform::DesktopAutomaticBrightness::On)
        return "";
    const auto& setting = facts.desktopSetting;
    if (facts.desktopSwitchOffFailed)
        return " " + text(texts, "%@ could not be switched off: switch it off %@.",
                          {setting.name, setting.whereToSwitchOff});
    if (!facts.desktopBrightnessSwitchable)
        return " " + text(texts,
                          "%@ is on: Duolume leaves the built-in display to it, and the monitors "
                          "still follow the curve. For Duolume to drive the built-in display, "
                          "switch it off %@.",
                          {setting.name, setting.whereToSwitchOff});
    return " " + text(texts,
                      "%@ is on: Duolume leaves the built-in display to it, and the monitors "
                      "still follow the curve.",
                      {setting.name});
}

// Where the setting is switched off besides the window: the machine's
// command, if it has one. Where this session may not switch it off, neither
// the window nor a command run in it can.
std::string desktopLine() {
    const auto setting =
        platform::machineTexts().desktopAutomaticBrightnessTexts(platform::Wording::English);
    std::string orHere;
    if (platform::canSwitchOffDesktopAutomaticBrightness())
        orHere = setting.commandToSwitchOff.empty() ? ", or in Duolume's window"
                                                    : ", or with: " + setting.commandToSwitchOff;
    return setting.nameInFull +
           " is on: Duolume leaves the built-in display to it while it is on, and the monitors "
           "still follow the curve. For Duolume to drive the built-in display, switch it off " +
           setting.whereToSwitchOff + orHere;
}

}  // namespace

std::vector<std::string> startUpReport(const std::vector<IOHIDDeviceRef>& monitors,
                                       const std::vector<DdcMonitors::Display>& ddcMonitors) {
    std::vector<std::string> lines;
    lines.push_back(line("Built-in display", platform::builtinPanelFinding()));
    const auto route = platform::builtinBrightnessRoute();
    lines.push_back("Built-in display written through " +
                    routeName(english, platform::machineTexts().builtinRouteName(
                                           route.way, platform::Wording::English)) +
                    ", because " + whyText(route.why));
    for (IOHIDDeviceRef device : monitors) {
        const Monitor m = judged(device);
        const std::string what = "USB monitor " + productText(device) + " " + device->description();
        // The field's text says itself why an interface is not used.
        lines.push_back(m.attached ? what + ": " + reasonText(m.access) + ", " + m.field
                                   : what + ": " + m.field);
    }
    if (monitors.empty())
        lines.push_back("USB monitor: none attached");
    for (const auto& d : ddcMonitors)
        lines.push_back("Monitor " + d.name + ": " + ddcStateText(d.state));
    for (const auto& f : lightFindings())
        lines.push_back(line("Light sensor", f));
    const auto& choice = AmbientLightSensor::sharedBackendChoice();
    lines.push_back("Light sensor in use: " + AmbientLightSensor::describeBackend(choice.backend) +
                    ", because " + choice.reason);
    if (platform::desktopAutomaticBrightness() == platform::DesktopAutomaticBrightness::On)
        lines.push_back(desktopLine());
    return lines;
}

std::optional<platform::LightEstimateInUse> lightEstimateInUse() {
    if (AmbientLightSensor::sharedBackendChoice().backend ==
        AmbientLightSensor::Backend::Controller)
        return platform::lightControllerEstimate();
    return platform::lightServiceClientEstimate();
}

std::optional<Ownership> shownOwnership(const StatusFacts& facts, DisplayKind kind) {
    if (!facts.synchronisationOn || facts.agentRunning != true)
        return std::nullopt;
    return kind == DisplayKind::Builtin ? facts.owners.builtin : facts.owners.monitors;
}

std::string statusLine(const Texts& texts, const StatusFacts& facts) {
    return sensorPart(texts) + agentPart(texts, facts) + ownersPart(texts, facts) +
           routePart(texts, facts) + " " + monitorPart(texts, facts) + ddcPart(texts, facts) +
           desktopPart(texts, facts);
}

}  // namespace duolume
