#include "linux/bus/PropertyChangesWatch.h"

#include <gio/gio.h>

#include "linux/bus/PropertyChanges.h"

namespace platform::linux_machine {

void PropertyChangesWatch::start(GDBusConnection* bus, const char* sender, const char* path,
                                 const char* interface, Handler handler) {
    stop();
    bus_ = bus;
    anyInterface_ = interface == nullptr;
    interface_ = interface ? interface : "";
    handler_ = std::move(handler);
    subscription_ = g_dbus_connection_signal_subscribe(
        bus, sender, "org.freedesktop.DBus.Properties", "PropertiesChanged", path, interface,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar* from, const gchar* object, const gchar*, const gchar*,
           GVariant* parameters, gpointer data) {
            auto* self = static_cast<PropertyChangesWatch*>(data);
            auto changes = readPropertyChanges(
                parameters, self->anyInterface_ ? nullptr : self->interface_.c_str());
            if (changes && self->handler_)
                self->handler_(from, object, *changes);
        },
        this, nullptr);
}

void PropertyChangesWatch::stop() {
    if (subscription_)
        g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    subscription_ = 0;
    bus_ = nullptr;
}

}  // namespace platform::linux_machine
