#include "linux/LogindBrightness.h"

#include <gio/gio.h>

#include "linux/PrivateBusConnection.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kLogindName = "org.freedesktop.login1";
constexpr const char* kSessionPath = "/org/freedesktop/login1/session/auto";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
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
    GVariant* reply = g_dbus_connection_call_sync(bus, kLogindName, kSessionPath, interface, method,
                                                  args, replyType, G_DBUS_CALL_FLAGS_NONE,
                                                  kCallTimeoutMs, nullptr, &error);
    *status = reply ? kIOReturnSuccess : statusForDBusError(error);
    g_clear_error(&error);
    return reply;
}

}  // namespace

IOReturn logindSetBacklight(const std::string& name, std::uint32_t raw) {
    IOReturn status = kIOReturnSuccess;
    GVariant* reply = callSession(kSessionInterface, "SetBrightness",
                                  g_variant_new("(ssu)", "backlight", name.c_str(), raw),
                                  G_VARIANT_TYPE("()"), &status);
    if (reply)
        g_variant_unref(reply);
    return status;
}

bool logindSessionCanSetBrightness() {
    IOReturn status = kIOReturnSuccess;
    GVariant* reply = callSession("org.freedesktop.DBus.Properties", "Get",
                                  g_variant_new("(ss)", kSessionInterface, "Active"),
                                  G_VARIANT_TYPE("(v)"), &status);
    if (!reply)
        return false;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    bool active = value && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) &&
                  g_variant_get_boolean(value);
    if (value)
        g_variant_unref(value);
    g_variant_unref(reply);
    return active;
}

}  // namespace platform::linux_machine
