#include "linux/session/LogindSessionState.h"

#include <gio/gio.h>

#include <cstdio>

#include "linux/bus/LogindNames.h"
#include "linux/bus/PropertyChanges.h"

namespace platform::linux_machine {
namespace {

using Alive = std::shared_ptr<LogindSessionState*>;

// The object of an answer that arrives after its LogindSessionState is gone: null.
LogindSessionState* owner(gpointer data) {
    return **static_cast<Alive*>(data);
}

void forgetAlive(gpointer data) {
    delete static_cast<Alive*>(data);
}

bool boolean(GVariant* properties, const char* name, bool fallback) {
    gboolean value = fallback;
    g_variant_lookup(properties, name, "b", &value);
    return value;
}

}  // namespace

std::string logindSessionPath(const std::string& id) {
    std::string path = logind::kSessionFolder;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(id[i]);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (letter || (digit && i > 0)) {
            path += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "_%02x", c);
            path += escaped;
        }
    }
    return id.empty() ? path + "_" : path;
}

LogindSessionState::~LogindSessionState() {
    *alive_ = nullptr;
    if (bus_) {
        if (sleepSubscription_)
            g_dbus_connection_signal_unsubscribe(bus_, sleepSubscription_);
        sessionChanges_.stop();
        g_object_unref(bus_);
    }
}

void LogindSessionState::observe(std::function<void(const SessionState&)> handler) {
    stateObservers_.push_back(std::move(handler));
    start();
}

void LogindSessionState::observeWake(std::function<void()> handler) {
    wakeObservers_.push_back(std::move(handler));
    start();
}

void LogindSessionState::update(const SessionState& state) {
    if (state == state_)
        return;
    const bool woke = state_.sleeping && !state.sleeping;
    state_ = state;
    auto observers = stateObservers_;
    for (const auto& o : observers)
        o(state_);
    if (woke) {
        auto wakers = wakeObservers_;
        for (const auto& w : wakers)
            w();
    }
}

void LogindSessionState::start() {
    if (started_)
        return;
    started_ = true;
    // A program without a window connects at once, so that no signal sent
    // right after it asked is missed; a window's thread never waits for it.
    if (!machine_.mainThreadNeverWaits()) {
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
        if (bus)
            connected(bus);
        else
            machine_.writeLog(
                std::string("No D-Bus system bus; the session's state and resume from sleep are "
                            "not watched: ") +
                (error ? error->message : "unknown error"));
        g_clear_error(&error);
        return;
    }
    g_bus_get(
        G_BUS_TYPE_SYSTEM, nullptr,
        [](GObject*, GAsyncResult* result, gpointer data) {
            GError* error = nullptr;
            GDBusConnection* bus = g_bus_get_finish(result, &error);
            LogindSessionState* self = owner(data);
            forgetAlive(data);
            if (!self) {
                if (bus)
                    g_object_unref(bus);
            } else if (!bus) {
                self->machine_.writeLog(
                    std::string("No D-Bus system bus; the session's state and resume from sleep "
                                "are not watched: ") +
                    (error ? error->message : "unknown error"));
            } else {
                self->connected(bus);
            }
            g_clear_error(&error);
        },
        new Alive(alive_));
}

void LogindSessionState::connected(GDBusConnection* bus) {
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    bus_ = bus;
    // PrepareForSleep(true) before sleeping, PrepareForSleep(false) once awake.
    sleepSubscription_ = g_dbus_connection_signal_subscribe(
        bus_, logind::kName, logind::kManagerInterface, "PrepareForSleep", logind::kManagerPath,
        nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
           GVariant* params, gpointer data) {
            auto* self = static_cast<LogindSessionState*>(data);
            if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(b)")))
                return;
            gboolean sleeping = FALSE;
            g_variant_get(params, "(b)", &sleeping);
            SessionState next = self->state_;
            next.sleeping = sleeping;
            self->update(next);
        },
        this, nullptr);
    // The session's own changes; its path is known once its Id is.
    sessionChanges_.start(bus_, logind::kName, nullptr, logind::kSessionInterface,
                          [this](const char*, const char* path, const PropertyChanges& changes) {
                              if (sessionPath_.empty() || sessionPath_ != path)
                                  return;
                              SessionState next = state_;
                              next.active = changes.boolean("Active").value_or(next.active);
                              next.idle = changes.boolean("IdleHint").value_or(next.idle);
                              update(next);
                              if (!changes.invalidated().empty())
                                  readSession(bus_);
                          });
    readSession(bus_);
}

void LogindSessionState::readSession(GDBusConnection* bus) {
    g_dbus_connection_call(
        bus, logind::kName, sessionPath_.empty() ? logind::kOwnSessionPath : sessionPath_.c_str(),
        "org.freedesktop.DBus.Properties", "GetAll",
        g_variant_new("(s)", logind::kSessionInterface), G_VARIANT_TYPE("(a{sv})"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            GError* error = nullptr;
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            LogindSessionState* self = owner(data);
            forgetAlive(data);
            if (self && !reply)
                self->machine_.writeLog(
                    std::string("systemd-logind does not tell this session's state; it is taken "
                                "as active and not idle: ") +
                    (error ? error->message : "unknown error"));
            if (self && reply) {
                GVariant* properties = g_variant_get_child_value(reply, 0);
                const gchar* id = nullptr;
                if (self->sessionPath_.empty() && g_variant_lookup(properties, "Id", "&s", &id))
                    self->sessionPath_ = logindSessionPath(id);
                SessionState next = self->state_;
                next.active = boolean(properties, "Active", next.active);
                next.idle = boolean(properties, "IdleHint", next.idle);
                g_variant_unref(properties);
                self->update(next);
            }
            if (reply)
                g_variant_unref(reply);
            g_clear_error(&error);
        },
        new Alive(alive_));
}

}  // namespace platform::linux_machine
