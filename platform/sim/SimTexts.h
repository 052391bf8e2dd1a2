// What the simulated machine calls its own things: scripted English texts,
// and for the person's language whatever a test puts in `inPersonsLanguage`
// (English where it has nothing). The route names live with the routes
// (SimDisplays::routes).
#pragma once

#include <map>
#include <string>

#include "machine/MachineTexts.h"
#include "sim/SimDisplays.h"

namespace platform::sim {

class SimTexts : public MachineTexts {
  public:
    explicit SimTexts(SimDisplays& displays) : displays_(displays) {}
    std::string builtinRouteName(int way, Wording wording) override;
    DesktopAutomaticBrightnessTexts desktopAutomaticBrightnessTexts(Wording wording) override;
    std::string deviceAccessFix(const std::string& accessRule, Wording wording) override;
    std::string backgroundJobLogCommand(const std::string& label, Wording wording) override;
    std::string lightServiceSources(Wording wording) override;

    // Scripted parts; "%1" stands for the rule or the label handed in.
    DesktopAutomaticBrightnessTexts desktopSetting{
        "The desktop's automatic brightness",
        "The desktop's automatic brightness of the built-in display", "in the desktop's settings",
        "switch-off-automatic-brightness"};
    std::string accessFix = "add the access rule %1 and plug it in again";
    std::string logCommand = "show-job-log %1";
    std::string lightSources = "the simulated sensor";
    // English text -> the person's language.
    std::map<std::string, std::string> inPersonsLanguage;

  private:
    std::string worded(const std::string& english, Wording wording) const;
    SimDisplays& displays_;
};

}  // namespace platform::sim
