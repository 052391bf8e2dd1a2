// What Duolume found of the machine, told to a person: the agent's lines at
// start and the window's status line. Both are built here, from what the
// back-ends hold (the backlight the display services drive, the monitors the
// HID managers know, the light source the sensor reads), never by looking at
// the hardware again. Every text is English, looked up through `Texts`
// (the window's string tables; the agent's log stays English).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "IOKit/hid/IOHIDDevice.h"
#include "engine/DdcMonitors.h"
#include "machine/LightEstimate.h"
#include "machine/MachineTexts.h"
#include "machine/SessionServices.h"
#include "report/DisplayOwnership.h"
#include "report/Texts.h"

namespace duolume {

// The agent's report, one line each: the built-in panel and the way it is
// written, every monitor of the engine's watchers, the light sources and the
// one in use, the desktop's automatic brightness. May ask the machine about
// the panel.
std::vector<std::string> startUpReport(const std::vector<IOHIDDeviceRef>& monitors,
                                       const std::vector<DdcMonitors::Display>& ddcMonitors);

struct StatusFacts {
    bool synchronisationOn = false;
    std::optional<bool> agentRunning;               // unknown until the session bus answers
    std::vector<IOHIDDeviceRef> monitors;           // the window's own HID manager's
    std::vector<DdcMonitors::Display> ddcMonitors;  // the other external displays found
    bool ddcMonitorsWanted = true;                  // the person's switch
    Owners owners;  // as the agent last published them; none before it does
    platform::DesktopAutomaticBrightness desktopBrightness =
        platform::DesktopAutomaticBrightness::NotInstalled;
    bool desktopBrightnessSwitchable = false;  // the window can switch it off
    bool desktopSwitchOffFailed = false;       // the person's last try to switch it off
    // The machine's own words for its things, in the person's language.
    std::string builtinRouteName;  // owners.builtinRoute's; empty: no route
    platform::DesktopAutomaticBrightnessTexts desktopSetting;  // desktopBrightness's
    std::string monitorAccessFix;  // what lets this user open an Apple monitor
    std::string agentLogCommand;   // what shows the agent's log
};

// The program's own rule that lets the person's user open Apple monitors (the
// file packaging/udev installs), for the machine to name in its fix.
inline const std::string MonitorAccessRule = "70-duolume.rules";

// While the shared sensor's light is estimated from the sun rather than read
// from a sensor: where and why (the sensor's back-end's own estimate).
std::optional<platform::LightEstimateInUse> lightEstimateInUse();

// Who owns `kind` as far as the window tells: what the agent published, only
// while synchronisation is on and the agent runs.
std::optional<Ownership> shownOwnership(const StatusFacts& facts, DisplayKind kind);

// The status line: the light sensor read, whether the agent runs while
// synchronisation is on and who owns each kind of display, the monitors or
// why one cannot be used, the desktop's automatic brightness.
std::string statusLine(const Texts& texts, const StatusFacts& facts);

}  // namespace duolume
