// Which way this machine's DisplayServices stand-in writes the built-in
// display's brightness, and why: a value for whoever tells the person (the
// agent's start-up report, the window's status line), never English text.
#pragma once

namespace platform {

enum class BuiltinBrightnessWay {
    None,                    // no built-in display with a backlight was seen
    PlasmaScreenBrightness,  // KDE's org.kde.ScreenBrightness (Plasma 6.2 and later)
    PlasmaPowerManagement,   // KDE's org.kde.Solid.PowerManagement (Plasma 5.27 to 6.1)
    MutterDisplayConfig,     // org.gnome.Mutter.DisplayConfig's backlight (GNOME 49 and later)
    GnomeSettingsDaemon,     // org.gnome.SettingsDaemon.Power.Screen (GNOME 43 to 48)
    Logind,                  // systemd-logind's SetBrightness (the file is not writable)
    BacklightFile,           // the backlight's own brightness file
};

enum class BuiltinBrightnessWhy {
    DesktopServiceAnswers,     // the desktop's own service offers what a write needs
    NotLookedYet,              // nothing has asked for the built-in display yet
    LookingForDesktopService,  // the session bus is being asked
    NoSessionBus,              // there is no session bus to ask
    NoDesktopService,          // none of the desktops' services is on the session bus
    DesktopServiceUnusable,    // a service is there but lacks what a write needs, or is not ready
    DesktopServiceFailed,      // a service refused or failed a write; asked again when it returns
};

struct BuiltinBrightnessRoute {
    BuiltinBrightnessWay way = BuiltinBrightnessWay::None;
    BuiltinBrightnessWhy why = BuiltinBrightnessWhy::NotLookedYet;
    bool operator==(const BuiltinBrightnessRoute&) const = default;
};

}  // namespace platform
