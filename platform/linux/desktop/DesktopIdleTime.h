// How long the person has given the desktop no input, as GNOME tells it:
// mutter's core idle monitor (GNOME/mutter data/dbus-interfaces/
// org.gnome.Mutter.IdleMonitor.xml; src/backends/meta-idle-monitor-dbus.c),
// GetIdletime on /org/gnome/Mutter/IdleMonitor/Core, in milliseconds.
//
// Plasma's org.freedesktop.ScreenSaver GetSessionIdleTime is not asked: it
// refuses on Wayland (kscreenlocker interface.cpp, NotSupported), and other
// implementations of the same name answer in other units.
#pragma once

#include <optional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

// Seconds since the last input, or absent with `why` when the desktop does
// not tell. Waits at most a quarter of a second for the answer.
std::optional<double> desktopSecondsSinceInput(GDBusConnection* sessionBus, std::string* why);

}  // namespace platform::linux_machine
