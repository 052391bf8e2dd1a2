#include "pane/PaneStatusLine.h"

#include "Session/Session.h"
#include "engine/HardwareSurveyForDuolume.h"
#include "settings/ProductIdentifier.h"

namespace duolume {
namespace {

using platform::HardwareFinding;
using Kind = HardwareFinding::Kind;

// The table's text for `key`, with "%@" replaced by `argument`.
std::string localized(const NSBundle& bundle, const std::string& key,
                      const std::string& argument = "") {
    std::string text = bundle.localizedStringForKey(key, "", "");
    if (auto at = text.find("%@"); at != std::string::npos)
        text.replace(at, 2, argument);
    return text;
}

std::string sensorPart(const NSBundle& bundle, const std::vector<HardwareFinding>& findings) {
    for (const auto& f : findings)
        if (f.kind == Kind::LightSensor && f.usable)
            return localized(bundle, "Light sensor: %@.", f.name);
    return localized(bundle,
                     "No light sensor found: this computer has no ambient light sensor that "
                     "Linux exposes.");
}

std::string agentPart(const NSBundle& bundle) {
    if (platform::sessionBusNameOwner(AgentBusName) == platform::SessionNameOwner::Held)
        return localized(bundle, "The background agent is running.");
    return localized(bundle, "The background agent is not running; to see why: %@",
                     "journalctl --user -u " + ProductIdentifier + ".service");
}

std::string monitorPart(const NSBundle& bundle, const std::vector<HardwareFinding>& findings) {
    std::string usable;
    const HardwareFinding* unusable = nullptr;
    for (const auto& f : findings) {
        if (f.kind != Kind::Monitor || f.name == "(none)")
            continue;
        // A node the user may not open says more than a display's other
        // interfaces, which are left alone on purpose.
        if (f.usable)
            usable += (usable.empty() ? "" : ", ") + f.name;
        else if (!unusable || f.detail.find("permission denied") != std::string::npos)
            unusable = &f;
    }
    if (!usable.empty())
        return localized(bundle, "Apple USB monitors: %@.", usable);
    if (!unusable)
        return localized(bundle, "No Apple USB monitor attached.");
    // The survey's own words for a device node the user may not open.
    if (unusable->detail.find("permission denied") != std::string::npos)
        return localized(bundle,
                         "An Apple USB monitor is attached but may not be opened (permission "
                         "denied): install the udev rule 70-duolume.rules and plug it in again.");
    return localized(bundle, "An Apple USB monitor is attached but cannot be used: %@.",
                     unusable->detail);
}

std::string desktopPart(const NSBundle& bundle) {
    if (platform::desktopAutomaticBrightness() != platform::DesktopAutomaticBrightness::On)
        return "";
    return " " + localized(bundle,
                           "GNOME's automatic screen brightness is on too, and the two will fight "
                           "over the built-in display: switch it off in Settings, Power.");
}

}  // namespace

std::string paneStatusLine(const NSBundle& bundle, bool synchronisationOn) {
    const auto findings = surveyDuolumeHardware();
    std::string line = sensorPart(bundle, findings);
    if (synchronisationOn)
        line += " " + agentPart(bundle);
    return line + " " + monitorPart(bundle, findings) + desktopPart(bundle);
}

}  // namespace duolume
