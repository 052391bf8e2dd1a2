#include "linux/foundation/LinuxDistributedBus.h"

#include <gio/gio.h>

#include "linux/bus/SessionBusLater.h"

namespace platform::linux_machine {

struct LinuxDistributedBus::Subscription {
    std::string name;
    guint id = 0;
    Handler handler;
};

LinuxDistributedBus::~LinuxDistributedBus() {
    for (auto& [token, sub] : subscriptions_) {
        if (connection_ && sub->id)
            g_dbus_connection_signal_unsubscribe(connection_, sub->id);
        delete sub;
    }
    if (connection_) {
        // The signals still queued go out before the process ends.
        g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
        g_object_unref(connection_);
    }
}

void LinuxDistributedBus::connect() {
    if (connecting_)
        return;
    connecting_ = true;
    connectSessionBusLater(alive_, [this](GDBusConnection* connection, const std::string& why) {
        connected(connection, why);
    });
}

void LinuxDistributedBus::connected(GDBusConnection* connection, const std::string& why) {
    connecting_ = false;
    if (!connection) {
        failed_ = true;
        machine_.writeLog("No D-Bus session bus, distributed notifications are off: " + why);
        for (const auto& [name, object] : queued_)
            machine_.writeLog("Distributed notification " + name + " not posted: no session bus");
        queued_.clear();
        return;
    }
    // The bus going away must not end the process.
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    connection_ = connection;
    for (auto& [token, sub] : subscriptions_)
        if (!sub->id)
            subscribe(*sub);
    auto queued = std::move(queued_);
    queued_.clear();
    for (const auto& [name, object] : queued)
        send(name, object ? &*object : nullptr);
}

bool LinuxDistributedBus::usable() {
    if (connection_ && g_dbus_connection_is_closed(connection_)) {
        machine_.writeLog("D-Bus session bus connection closed");
        g_object_unref(connection_);
        connection_ = nullptr;
        failed_ = false;  // try again
        for (auto& [token, sub] : subscriptions_)
            sub->id = 0;  // gone with the connection
    }
    if (connection_ || failed_)
        return connection_ != nullptr;
    // A window's thread never waits for the bus; other programs (the agent,
    // a command) may, and their posts then go out even if their run loop
    // never turns again.
    if (machine_.mainThreadNeverWaits()) {
        connect();
        return false;
    }
    GError* error = nullptr;
    GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    connected(connection, error ? error->message : "unknown error");
    g_clear_error(&error);
    return connection_ != nullptr;
}

void LinuxDistributedBus::send(const std::string& name, const std::string* object) {
    GError* error = nullptr;
    // Handed to GDBus's own thread, which writes it without this one waiting.
    if (!g_dbus_connection_emit_signal(
            connection_, nullptr, kNotificationPath, kNotificationInterface, kNotificationMember,
            g_variant_new("(ss)", name.c_str(), object ? object->c_str() : ""), &error)) {
        machine_.writeLog("Distributed notification " + name +
                          " not posted: " + (error ? error->message : "unknown error"));
        g_clear_error(&error);
        return;
    }
    g_dbus_connection_flush(connection_, nullptr, nullptr, nullptr);
}

void LinuxDistributedBus::post(const std::string& name, const std::string* object) {
    if (usable())
        send(name, object);
    else if (connecting_)
        queued_.emplace_back(name, object ? std::optional<std::string>(*object) : std::nullopt);
    else
        machine_.writeLog("Distributed notification " + name + " not posted: no session bus");
}

void LinuxDistributedBus::subscribe(Subscription& sub) {
    sub.id = g_dbus_connection_signal_subscribe(
        connection_, nullptr, kNotificationInterface, kNotificationMember, kNotificationPath,
        sub.name.c_str(), G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
           GVariant* params, gpointer data) {
            if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(ss)")))
                return;
            const gchar* n = nullptr;
            const gchar* o = nullptr;
            g_variant_get(params, "(&s&s)", &n, &o);
            std::string object = o ? o : "";
            static_cast<Subscription*>(data)->handler(n ? n : "",
                                                      object.empty() ? nullptr : &object);
        },
        &sub, nullptr);
}

int LinuxDistributedBus::observe(const std::string& name, Handler handler) {
    int token = nextToken_++;
    auto* sub = new Subscription{name, 0, std::move(handler)};
    subscriptions_[token] = sub;
    // A connection made just now has subscribed it already.
    if (usable() && !sub->id)
        subscribe(*sub);
    return token;
}

void LinuxDistributedBus::removeObserver(int token) {
    auto it = subscriptions_.find(token);
    if (it == subscriptions_.end())
        return;
    if (connection_ && it->second->id)
        g_dbus_connection_signal_unsubscribe(connection_, it->second->id);
    delete it->second;
    subscriptions_.erase(it);
}

}  // namespace platform::linux_machine
