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

LinuxSession::LinuxSession(Machine& machine) : machine_(machine) {}

LinuxSession::~LinuxSession() {
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

SessionNameOwner LinuxSession::sessionBusNameOwner(const std::string& name) {
    GError* error = nullptr;
    if (!sessionBus_) {
        sessionBus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!sessionBus_) {
            machine_.writeLog("No D-Bus session bus to look for " + name + " on: " +
                              messageOf(error));
            return SessionNameOwner::NoBus;
        }
        g_dbus_connection_set_exit_on_close(sessionBus_, FALSE);
    }
    GVariant* reply = g_dbus_connection_call_sync(
        sessionBus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    if (!reply) {
        machine_.writeLog("NameHasOwner " + name + " failed: " + messageOf(error));
        return SessionNameOwner::NoBus;
    }
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned ? SessionNameOwner::Held : SessionNameOwner::Free;
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
