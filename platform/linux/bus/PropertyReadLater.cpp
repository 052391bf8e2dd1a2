#include "linux/bus/PropertyReadLater.h"

namespace platform::linux_machine {

void readPropertyLater(GDBusConnection* bus, const std::string& name, const std::string& path,
                       const char* interface, const char* property, int timeoutMs,
                       GCancellable** reading, std::function<void(GVariant* value)> done) {
    if (*reading)
        g_cancellable_cancel(*reading);
    g_clear_object(reading);
    *reading = g_cancellable_new();
    g_dbus_connection_call(
        bus, name.c_str(), path.c_str(), "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", interface, property), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, *reading,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* done = static_cast<std::function<void(GVariant*)>*>(data);
            GError* error = nullptr;
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
            g_clear_error(&error);
            GVariant* value = nullptr;
            if (reply)
                g_variant_get(reply, "(v)", &value);
            if (!cancelled)
                (*done)(value);
            if (value)
                g_variant_unref(value);
            if (reply)
                g_variant_unref(reply);
            delete done;
        },
        new std::function<void(GVariant*)>(std::move(done)));
}

}  // namespace platform::linux_machine
