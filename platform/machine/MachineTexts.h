// What the machine tells a person about its own things: what its routes and
// its desktop's settings are called, where a setting is switched off, how a
// device is opened to this user, where a background job's log is read, what
// the light sensor's service client reads. The
// product puts them into its own sentences and never names them itself.
// Each comes in the words asked for: English as written (the log), or the
// language the person reads the window in.
#pragma once

#include <string>

namespace platform {

enum class Wording { English, PersonsLanguage };

// The desktop's automatic brightness setting, for a person.
struct DesktopAutomaticBrightnessTexts {
    std::string name;                // to begin a sentence, in the window's line
    std::string nameInFull;          // the same in the log, with what it steers where that helps
    std::string whereToSwitchOff;    // "in …", where the person switches it off
    std::string commandToSwitchOff;  // a command that switches it off; empty: none
    bool operator==(const DesktopAutomaticBrightnessTexts&) const = default;
};

class MachineTexts {
  public:
    virtual ~MachineTexts() = default;
    // The name of the route this machine numbers `way`
    // (BuiltinBrightnessRoute::way); empty for none, or a number it does not
    // know.
    virtual std::string builtinRouteName(int way, Wording wording) = 0;
    // The setting desktopAutomaticBrightness() reads, as it stands now.
    virtual DesktopAutomaticBrightnessTexts desktopAutomaticBrightnessTexts(Wording wording) = 0;
    // What a person does so that this user may open a device the machine
    // refuses, where `accessRule` is the program's own rule that grants it
    // (its file name); told as a request ("install …").
    virtual std::string deviceAccessFix(const std::string& accessRule, Wording wording) = 0;
    // The command that shows what the per-user background job `label` (as
    // TaskLauncher's jobs are labelled) logged, and so why it stopped.
    virtual std::string backgroundJobLogCommand(const std::string& label, Wording wording) = 0;
    // What the ambient light sensor's service client reads on this machine,
    // the first that is there.
    virtual std::string lightServiceSources(Wording wording) = 0;

  protected:
    // `text` with its "%1" replaced by `value`, the rule or label asked about.
    static std::string filledIn(std::string text, const std::string& value) {
        const auto at = text.find("%1");
        if (at != std::string::npos)
            text.replace(at, 2, value);
        return text;
    }
};

// The installed machine's.
MachineTexts& machineTexts();

}  // namespace platform
