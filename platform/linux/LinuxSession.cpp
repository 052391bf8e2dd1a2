#include "linux/LinuxSession.h"

#include <gio/gio.h>
#include <glib-unix.h>
#include <signal.h>

namespace platform::linux_machine {
namespace {

// RequestName flag and replies (D-Bus specification).
constexpr guint32 kDoNotQueue = 4;
constexpr guint32 kPrimaryOwner = 1;
constexpr guint32 kAlreadyOwner = 4;

std::string messageOf(GError* error) {
    std::string text = error ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

}  // namespace

struct LinuxSession::Observer {
    std::function<void()> wake;
    std::function<void(int)> termination;
    int signal = 0;
    guint id = 0;
};

struct LinuxSession::NameWatch {
    std::string name;
    std::function<void(bool)> handler;
    guint id = 0;
};

LinuxSession::LinuxSession(Machine& machine)
    : machine_(machine), alive_(std::make_shared<LinuxSession*>(this)) {}

LinuxSession::~LinuxSession() {
    for (auto& [token, watch] : nameWatches_)
        if (watch->id)
            g_bus_unwatch_name(watch->id);
    for (auto& o : observers_) {
        if (o->wake && systemBus_)
            g_dbus_connection_signal_unsubscribe(systemBus_, o->id);
        if (o->termination)
            g_source_remove(o->id);
    }
    if (sessionBus_)
        g_object_unref(sessionBus_);
    if (systemBus_)
        g_object_unref(systemBus_);
}

SessionNameClaim LinuxSession::claimSessionBusName(const std::string& name) {
    GError* error = nullptr;
    if (!sessionBus_) {
        sessionBus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!sessionBus_) {
            machine_.writeLog("No D-Bus session bus to claim " + name + " on: " + messageOf(error));
            return SessionNameClaim::Unavailable;
        }
        g_dbus_connection_set_exit_on_close(sessionBus_, FALSE);
    }
    GVariant* reply = g_dbus_connection_call_sync(
        sessionBus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", name.c_str(), kDoNotQueue), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    if (!reply) {
        machine_.writeLog("RequestName " + name + " failed: " + messageOf(error));
        return SessionNameClaim::Unavailable;
    }
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    return result == kPrimaryOwner || result == kAlreadyOwner ? SessionNameClaim::Owned
                                                              : SessionNameClaim::OwnedElsewhere;
}


int LinuxSession::watchSessionBusName(const std::string& name,
                                      std::function<void(bool)> handler) {
    const int token = nextNameWatch_++;
    auto& watch = *nameWatches_.emplace(token, std::make_unique<NameWatch>()).first->second;
    watch.name = name;
    watch.handler = std::move(handler);
    if (sessionBus_) {
        startNameWatch(watch);
        return token;
    }
    if (connectingSessionBus_)
        return token;
    // Connected on GDBus's own thread; the answer comes on this main context.
    connectingSessionBus_ = true;
    // The answer may come after this session object is gone.
    g_bus_get(
        G_BUS_TYPE_SESSION, nullptr,
        [](GObject*, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::weak_ptr<LinuxSession*>> alive(
                static_cast<std::weak_ptr<LinuxSession*>*>(data));
            GError* error = nullptr;
            GDBusConnection* bus = g_bus_get_finish(result, &error);
            auto held = alive->lock();
            if (!held) {
                if (bus)
                    g_object_unref(bus);
                g_clear_error(&error);
                return;
            }
            LinuxSession* self = *held;
            self->connectingSessionBus_ = false;
            if (!bus) {
                self->machine_.writeLog("No D-Bus session bus to watch names on: " +
                                        messageOf(error));
                for (auto& [token, watch] : self->nameWatches_)
                    watch->handler(false);
                return;
            }
            if (!self->sessionBus_) {
                g_dbus_connection_set_exit_on_close(bus, FALSE);
                self->sessionBus_ = bus;
            } else {
                g_object_unref(bus);
            }
            for (auto& [token, watch] : self->nameWatches_)
                if (!watch->id)
                    self->startNameWatch(*watch);
        },
        new std::weak_ptr<LinuxSession*>(alive_));
    return token;
}

void LinuxSession::startNameWatch(NameWatch& watch) {
    watch.id = g_bus_watch_name_on_connection(
        sessionBus_, watch.name.c_str(), G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, gpointer data) {
            static_cast<NameWatch*>(data)->handler(true);
        },
        [](GDBusConnection*, const gchar*, gpointer data) {
            static_cast<NameWatch*>(data)->handler(false);
        },
        &watch, nullptr);
}

void LinuxSession::unwatchSessionBusName(int token) {
    auto it = nameWatches_.find(token);
    if (it == nameWatches_.end())
        return;
    if (it->second->id)
        g_bus_unwatch_name(it->second->id);
    nameWatches_.erase(it);
}

void LinuxSession::observeWake(std::function<void()> handler) {
    GError* error = nullptr;
    if (!systemBus_) {
        systemBus_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
        if (!systemBus_) {
            machine_.writeLog("No D-Bus system bus; resume from sleep is not watched: " +
                              messageOf(error));
            return;
        }
        g_dbus_connection_set_exit_on_close(systemBus_, FALSE);
    }
    auto observer = std::make_unique<Observer>();
    observer->wake = std::move(handler);
    // PrepareForSleep(false) is sent once the machine has resumed.
    observer->id = g_dbus_connection_signal_subscribe(
        systemBus_, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
        "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
           GVariant* params, gpointer data) {
            if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(b)")))
                return;
            gboolean goingToSleep = TRUE;
            g_variant_get(params, "(b)", &goingToSleep);
            if (!goingToSleep)
                static_cast<Observer*>(data)->wake();
        },
        observer.get(), nullptr);
    observers_.push_back(std::move(observer));
}

void LinuxSession::observeTerminationRequest(std::function<void(int)> handler) {
    for (int sig : {SIGTERM, SIGINT}) {
        auto observer = std::make_unique<Observer>();
        observer->termination = handler;
        observer->signal = sig;
        observer->id = g_unix_signal_add(
            sig,
            [](gpointer data) -> gboolean {
                auto* o = static_cast<Observer*>(data);
                o->termination(o->signal);
                return G_SOURCE_CONTINUE;
            },
            observer.get());
        observers_.push_back(std::move(observer));
    }
}

}  // namespace platform::linux_machine
