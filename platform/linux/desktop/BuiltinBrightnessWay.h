// The ways the Linux machine writes the built-in display's brightness, by
// the numbers it hands through BuiltinBrightnessRoute::way (never renumbered:
// an agent and a window of another build read each other's).
#pragma once

#include <optional>

#include "machine/BuiltinBrightnessRoute.h"

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

constexpr int wayNumber(BuiltinBrightnessWay way) {
    return static_cast<int>(way);
}

// A route's number against a way: `route.way == BuiltinBrightnessWay::Logind`.
constexpr bool operator==(int number, BuiltinBrightnessWay way) {
    return number == wayNumber(way);
}

// The way numbered `number`, absent for one this build does not know.
inline std::optional<BuiltinBrightnessWay> wayNumbered(int number) {
    if (number < 0 || number > wayNumber(BuiltinBrightnessWay::BacklightFile))
        return std::nullopt;
    return static_cast<BuiltinBrightnessWay>(number);
}

inline BuiltinRouteKind kindOf(BuiltinBrightnessWay way) {
    switch (way) {
        case BuiltinBrightnessWay::None:
            return BuiltinRouteKind::None;
        case BuiltinBrightnessWay::Logind:
            return BuiltinRouteKind::PrivilegedHelper;
        case BuiltinBrightnessWay::BacklightFile:
            return BuiltinRouteKind::BacklightFile;
        default:
            return BuiltinRouteKind::DesktopService;
    }
}

}  // namespace platform
