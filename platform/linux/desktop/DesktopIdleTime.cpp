#include "linux/desktop/DesktopIdleTime.h"

#include <gio/gio.h>

namespace platform::linux_machine {
namespace {

constexpr int kAnswerWithinMs = 250;

}  // namespace

std::optional<double> desktopSecondsSinceInput(GDBusConnection* sessionBus, std::string* why) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        sessionBus, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
        "org.gnome.Mutter.IdleMonitor", "GetIdletime", nullptr, G_VARIANT_TYPE("(t)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, kAnswerWithinMs, nullptr, &error);
    if (!reply) {
        if (why)
            *why = error ? error->message : "no answer";
        g_clear_error(&error);
        return std::nullopt;
    }
    guint64 milliseconds = 0;
    g_variant_get(reply, "(t)", &milliseconds);
    g_variant_unref(reply);
    return static_cast<double>(milliseconds) / 1000.0;
}

}  // namespace platform::linux_machine
