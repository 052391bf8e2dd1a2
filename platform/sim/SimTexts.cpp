#include "sim/SimTexts.h"

namespace platform::sim {

std::string SimTexts::worded(const std::string& english, Wording wording) const {
    if (wording == Wording::English)
        return english;
    const auto found = inPersonsLanguage.find(english);
    return found == inPersonsLanguage.end() ? english : found->second;
}

std::string SimTexts::builtinRouteName(int way, Wording wording) {
    const auto route = displays_.routes.find(way);
    return route == displays_.routes.end() ? "" : worded(route->second.name, wording);
}

DesktopAutomaticBrightnessTexts SimTexts::desktopAutomaticBrightnessTexts(Wording wording) {
    return {worded(desktopSetting.name, wording), worded(desktopSetting.nameInFull, wording),
            worded(desktopSetting.whereToSwitchOff, wording), desktopSetting.commandToSwitchOff};
}

std::string SimTexts::deviceAccessFix(const std::string& accessRule, Wording wording) {
    return filledIn(worded(accessFix, wording), accessRule);
}

std::string SimTexts::backgroundJobLogCommand(const std::string& label, Wording) {
    return filledIn(logCommand, label);
}

std::string SimTexts::lightServiceSources(Wording wording) {
    return worded(lightSources, wording);
}

}  // namespace platform::sim
