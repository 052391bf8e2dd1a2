// What the Linux machine calls its own things, for a person: the ways the
// built-in display is written, GNOME's and Plasma's automatic brightness and
// where each is switched off, udev rules and the journal. English as written,
// else German or French as the person's languages ask (the window's order).
#pragma once

#include "linux/session/LinuxSession.h"
#include "machine/MachineTexts.h"

namespace platform::linux_machine {

class LinuxMachineTexts : public MachineTexts {
  public:
    // `session` says whose automatic brightness the machine has.
    explicit LinuxMachineTexts(LinuxSession& session) : session_(session) {}
    std::string builtinRouteName(int way, Wording wording) override;
    DesktopAutomaticBrightnessTexts desktopAutomaticBrightnessTexts(Wording wording) override;
    std::string deviceAccessFix(const std::string& accessRule, Wording wording) override;
    std::string backgroundJobLogCommand(const std::string& label, Wording wording) override;
    std::string lightServiceSources(Wording wording) override;

  private:
    LinuxSession& session_;
};

}  // namespace platform::linux_machine
