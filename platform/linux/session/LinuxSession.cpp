#include "linux/session/LinuxSession.h"

#include <gio/gio.h>
#include <glib-unix.h>
#include <signal.h>

#include "linux/bus/ServiceWatch.h"
#include "linux/bus/SessionBusLater.h"
#include "linux/desktop/DesktopIdleTime.h"

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
    std::function<void(int)> termination;
    int signal = 0;
    guint id = 0;
};

struct LinuxSession::NameWatch {
    std::string name;
    std::function<void(bool)> handler;
    ServiceWatch owner;
};

LinuxSession::LinuxSession(Machine& machine)
    : machine_(machine), alive_(std::make_shared<LinuxSession*>(this)) {}

LinuxSession::~LinuxSession() {
    nameWatches_.clear();
    for (auto& o : observers_)
        g_source_remove(o->id);
    if (sessionBus_)
        g_object_unref(sessionBus_);
    if (watchedGnomeSettings_) {
        g_signal_handlers_disconnect_by_data(watchedGnomeSettings_, this);
        g_object_unref(watchedGnomeSettings_);
    }
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
    if (result != kPrimaryOwner && result != kAlreadyOwner)
        return SessionNameClaim::OwnedElsewhere;
    claimedName_ = name;
    return SessionNameClaim::Owned;
}

std::optional<double> LinuxSession::secondsSinceInput() {
    if (!sessionBus_) {
        if (machine_.mainThreadNeverWaits())
            return std::nullopt;
        GError* error = nullptr;
        sessionBus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!sessionBus_) {
            g_clear_error(&error);
            return std::nullopt;
        }
        g_dbus_connection_set_exit_on_close(sessionBus_, FALSE);
    }
    std::string why;
    auto seconds = desktopSecondsSinceInput(sessionBus_, &why);
    if (!seconds && !idleTimeUnknownLogged_) {
        idleTimeUnknownLogged_ = true;
        machine_.writeLog("The desktop does not tell how long the person has been away: " + why);
    }
    return seconds;
}

int LinuxSession::watchSessionBusName(const std::string& name, std::function<void(bool)> handler) {
    const int token = nextNameWatch_++;
    auto& watch = *nameWatches_.emplace(token, std::make_unique<NameWatch>()).first->second;
    watch.name = name;
    watch.handler = std::move(handler);
    withSessionBus([this, token] {
        auto it = nameWatches_.find(token);
        if (it == nameWatches_.end())
            return;
        if (sessionBus_)
            startNameWatch(*it->second);
        else
            it->second->handler(false);
    });
    return token;
}

void LinuxSession::withSessionBus(std::function<void()> then) {
    if (sessionBus_) {
        then();
        return;
    }
    onSessionBus_.push_back(std::move(then));
    if (connectingSessionBus_)
        return;
    connectingSessionBus_ = true;
    connectSessionBusLater(alive_, [this](GDBusConnection* bus, const std::string& why) {
        connectingSessionBus_ = false;
        if (!bus)
            machine_.writeLog("No D-Bus session bus to watch names on: " + why);
        if (bus && !sessionBus_) {
            g_dbus_connection_set_exit_on_close(bus, FALSE);
            sessionBus_ = bus;
        } else if (bus) {
            g_object_unref(bus);
        }
        auto waiting = std::move(onSessionBus_);
        onSessionBus_.clear();
        for (const auto& then : waiting)
            then();
    });
}

void LinuxSession::publishSessionValue(const std::string& key, const std::string& value) {
    if (sessionBus_ && !claimedName_.empty())
        published_.publish(sessionBus_, claimedName_, key, value);
}

int LinuxSession::watchSessionValue(
    const std::string& name, const std::string& key,
    std::function<void(const std::optional<std::string>&)> handler) {
    const int token = nextNameWatch_++;
    valueWatches_[token] = 0;
    withSessionBus([this, token, name, key, handler = std::move(handler)] {
        auto it = valueWatches_.find(token);
        if (it == valueWatches_.end())
            return;
        if (sessionBus_)
            it->second = published_.watch(sessionBus_, name, key, handler);
        else
            handler(std::nullopt);
    });
    return token;
}

void LinuxSession::unwatchSessionValue(int token) {
    auto it = valueWatches_.find(token);
    if (it == valueWatches_.end())
        return;
    if (it->second)
        published_.unwatch(it->second);
    valueWatches_.erase(it);
}

void LinuxSession::startNameWatch(NameWatch& watch) {
    watch.owner.start(
        sessionBus_, watch.name, [&watch](const std::string&) { watch.handler(true); },
        [&watch] { watch.handler(false); });
}

void LinuxSession::unwatchSessionBusName(int token) {
    auto it = nameWatches_.find(token);
    if (it == nameWatches_.end())
        return;
    nameWatches_.erase(it);
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
