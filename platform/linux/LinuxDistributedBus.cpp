#include "linux/LinuxDistributedBus.h"

#include <gio/gio.h>

namespace platform::linux_machine {

struct LinuxDistributedBus::Subscription {
    guint id = 0;
    Handler handler;
};

LinuxDistributedBus::~LinuxDistributedBus() {
    for (auto& [token, sub] : subscriptions_) {
        if (connection_) g_dbus_connection_signal_unsubscribe(connection_, sub->id);
        delete sub;
    }
    if (connection_) g_object_unref(connection_);
}

GDBusConnection* LinuxDistributedBus::connection() {
    if (!connection_ && !triedConnecting_) {
        triedConnecting_ = true;
        GError* error = nullptr;
        connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!connection_) {
            machine_.writeLog(std::string("No D-Bus session bus, distributed notifications are off: ") +
                              (error ? error->message : "unknown error"));
            g_clear_error(&error);
        } else {
            // The bus going away must not end the process.
            g_dbus_connection_set_exit_on_close(connection_, FALSE);
        }
    }
    if (connection_ && g_dbus_connection_is_closed(connection_)) {
        machine_.writeLog("D-Bus session bus connection closed");
        g_object_unref(connection_);
        connection_ = nullptr;
        triedConnecting_ = false;  // try again at the next use
        return nullptr;
    }
    return connection_;
}

void LinuxDistributedBus::post(const std::string& name, const std::string* object) {
    GDBusConnection* c = connection();
    if (!c) {
        machine_.writeLog("Distributed notification " + name + " not posted: no session bus");
        return;
    }
    GError* error = nullptr;
    gboolean ok = g_dbus_connection_emit_signal(
        c, nullptr, kNotificationPath, kNotificationInterface, kNotificationMember,
        g_variant_new("(ss)", name.c_str(), object ? object->c_str() : ""), &error);
    if (ok) ok = g_dbus_connection_flush_sync(c, nullptr, &error);
    if (!ok) {
        machine_.writeLog("Distributed notification " + name + " not posted: " +
                          (error ? error->message : "unknown error"));
        g_clear_error(&error);
    }
}

int LinuxDistributedBus::observe(const std::string& name, Handler handler) {
    int token = nextToken_++;
    auto* sub = new Subscription{0, std::move(handler)};
    subscriptions_[token] = sub;
    GDBusConnection* c = connection();
    if (!c) return token;
    sub->id = g_dbus_connection_signal_subscribe(
        c, nullptr, kNotificationInterface, kNotificationMember, kNotificationPath, name.c_str(),
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* params,
           gpointer data) {
            if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(ss)"))) return;
            const gchar* n = nullptr;
            const gchar* o = nullptr;
            g_variant_get(params, "(&s&s)", &n, &o);
            std::string object = o ? o : "";
            static_cast<Subscription*>(data)->handler(n ? n : "", object.empty() ? nullptr : &object);
        },
        sub, nullptr);
    return token;
}

void LinuxDistributedBus::removeObserver(int token) {
    auto it = subscriptions_.find(token);
    if (it == subscriptions_.end()) return;
    if (connection_ && it->second->id) g_dbus_connection_signal_unsubscribe(connection_, it->second->id);
    delete it->second;
    subscriptions_.erase(it);
}

}  // namespace platform::linux_machine
