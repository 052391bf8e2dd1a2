#include "linux/displays/LogindBrightness.h"

#include <gio/gio.h>

#include "linux/bus/LogindNames.h"
#include "linux/bus/PrivateBusConnection.h"

namespace platform::linux_machine {
namespace {

// A brightness write waits for logind at most this long, so a stuck service
// cannot freeze a fade for more than a moment per step.
constexpr int kCallTimeoutMs = 1000;

// The shared system bus connection, or null when there is none. A closed
// connection is dropped so the next call connects again.
GDBusConnection* systemBus() {
    static GDBusConnection* connection = nullptr;
    if (connection && g_dbus_connection_is_closed(connection))
        g_clear_object(&connection);
    if (!connection)
        connection = openPrivateBusConnection(G_BUS_TYPE_SYSTEM);
    return connection;
}

IOReturn statusForDBusError(const GError* error) {
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_AUTH_FAILED)) {
        return kIOReturnNotPermitted;
    }
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD)) {
        return kIOReturnUnsupported;
    }
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY)) {
        return kIOReturnTimeout;
    }
    // logind answers with a plain (or its own) error when the session is not
    // active or the device is unknown.
    return kIOReturnNotPermitted;
}

GVariant* callSession(const char* interface, const char* method, GVariant* args,
                      const GVariantType* replyType, IOReturn* status) {
    GDBusConnection* bus = systemBus();
    if (!bus) {
        if (args)
            g_variant_unref(g_variant_ref_sink(args));
        *status = kIOReturnNotAttached;
        return nullptr;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, logind::kName, logind::kOwnSessionPath, interface, method, args, replyType,
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
    *status = reply ? kIOReturnSuccess : statusForDBusError(error);
    g_clear_error(&error);
    return reply;
}

// One property of the caller's session, of type `type`; null when logind
// does not answer or answers with another type.
GVariant* sessionProperty(const char* name, const GVariantType* type) {
    IOReturn status = kIOReturnSuccess;
    GVariant* reply = callSession("org.freedesktop.DBus.Properties", "Get",
                                  g_variant_new("(ss)", logind::kSessionInterface, name),
                                  G_VARIANT_TYPE("(v)"), &status);
    if (!reply)
        return nullptr;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    g_variant_unref(reply);
    if (value && !g_variant_is_of_type(value, type))
        g_clear_pointer(&value, g_variant_unref);
    return value;
}

}  // namespace

IOReturn logindSetBacklight(const std::string& name, std::uint32_t raw) {
    IOReturn status = kIOReturnSuccess;
    GVariant* reply = callSession(logind::kSessionInterface, "SetBrightness",
                                  g_variant_new("(ssu)", "backlight", name.c_str(), raw),
                                  G_VARIANT_TYPE("()"), &status);
    if (reply)
        g_variant_unref(reply);
    return status;
}

bool logindSessionCanSetBrightness() {
    // logind refuses SetBrightness to a session without a seat ("Your session
    // has no seat, refusing.") and to one that is not its seat's active
    // session (method_set_brightness, src/login/logind-session-dbus.c, github
    // systemd/systemd @ 0018cd99). A seatless session, an SSH login for one,
    // still reads Active as true (session_is_active), so both are asked; the
    // Seat property is ("", "/") without a seat.
    GVariant* active = sessionProperty("Active", G_VARIANT_TYPE_BOOLEAN);
    GVariant* seat = sessionProperty("Seat", G_VARIANT_TYPE("(so)"));
    const char* seatID = "";
    if (seat)
        g_variant_get(seat, "(&s&o)", &seatID, nullptr);
    const bool can = active && g_variant_get_boolean(active) && seatID[0] != '\0';
    if (active)
        g_variant_unref(active);
    if (seat)
        g_variant_unref(seat);
    return can;
}

}  // namespace platform::linux_machine
