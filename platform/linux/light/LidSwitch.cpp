#include "linux/light/LidSwitch.h"

#include <gio/gio.h>

#include "linux/bus/PrivateBusConnection.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kLidFolder = "/proc/acpi/button/lid";
constexpr int kCallTimeoutMs = 500;

}  // namespace

std::optional<bool> parseLidState(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || text.compare(0, colon, "state") != 0)
        return std::nullopt;
    std::string word;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        word += c;
    }
    if (word == "closed")
        return true;
    if (word == "open")
        return false;
    return std::nullopt;
}

LidSwitch::LidSwitch(std::function<void()> changed, std::function<void()> woke)
    : changed_(std::move(changed)), woke_(std::move(woke)) {}

LidSwitch::~LidSwitch() {
    if (watch_)
        g_bus_unwatch_name(watch_);
    if (bus_) {
        if (subscription_)
            g_dbus_connection_signal_unsubscribe(bus_, subscription_);
        if (sleepSubscription_)
            g_dbus_connection_signal_unsubscribe(bus_, sleepSubscription_);
        // Answers still on their way find their object gone (see ask()).
        g_object_set_data(G_OBJECT(bus_), "duolume-lid-switch", nullptr);
        g_object_unref(bus_);
    }
}

bool LidSwitch::closed() const {
    if (logindClosed_)
        return *logindClosed_;
    return acpiClosed_.value_or(false);
}

void LidSwitch::follow() {
    if (bus_ && g_dbus_connection_is_closed(bus_)) {
        if (watch_)
            g_bus_unwatch_name(watch_);
        g_object_set_data(G_OBJECT(bus_), "duolume-lid-switch", nullptr);
        g_object_unref(bus_);
        bus_ = nullptr;
        subscription_ = sleepSubscription_ = watch_ = 0;
        asking_ = logindThere_ = false;
        logindClosed_.reset();
    }
    if (!bus_) {
        bus_ = openPrivateBusConnection(G_BUS_TYPE_SYSTEM);
        if (bus_) {
            g_object_set_data(G_OBJECT(bus_), "duolume-lid-switch", this);
            subscription_ = g_dbus_connection_signal_subscribe(
                bus_, kLogind, "org.freedesktop.DBus.Properties", "PropertiesChanged", kManagerPath,
                kManager, G_DBUS_SIGNAL_FLAGS_NONE, reinterpret_cast<GDBusSignalCallback>(onSignal),
                this, nullptr);
            sleepSubscription_ = g_dbus_connection_signal_subscribe(
                bus_, kLogind, kManager, "PrepareForSleep", kManagerPath, nullptr,
                G_DBUS_SIGNAL_FLAGS_NONE, reinterpret_cast<GDBusSignalCallback>(onSignal), this,
                nullptr);
            watch_ = g_bus_watch_name_on_connection(
                bus_, kLogind, G_BUS_NAME_WATCHER_FLAGS_NONE,
                [](GDBusConnection*, const gchar*, const gchar*, gpointer self) {
                    auto* lid = static_cast<LidSwitch*>(self);
                    lid->logindThere_ = true;
                    if (!lid->asking_)
                        lid->ask();
                },
                [](GDBusConnection*, const gchar*, gpointer self) {
                    auto* lid = static_cast<LidSwitch*>(self);
                    lid->logindThere_ = false;
                    const bool before = lid->closed();
                    lid->logindClosed_.reset();
                    lid->lookAtAcpi();
                    if (lid->closed() != before)
                        lid->changed_();
                },
                this, nullptr);
        }
    }
    if (!logindClosed_)
        lookAtAcpi();
}

void LidSwitch::ask() {
    asking_ = true;
    g_dbus_connection_call(
        bus_, kLogind, kManagerPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kManager, "LidClosed"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        kCallTimeoutMs, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer) {
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            auto* self = static_cast<LidSwitch*>(g_object_get_data(source, "duolume-lid-switch"));
            if (self) {
                self->asking_ = false;
                if (reply) {
                    GVariant* value = nullptr;
                    g_variant_get(reply, "(v)", &value);
                    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
                        const bool before = self->closed();
                        self->logindClosed_ = g_variant_get_boolean(value);
                        self->source_ = "systemd-logind";
                        if (self->closed() != before)
                            self->changed_();
                    }
                    g_variant_unref(value);
                }
            }
            if (reply)
                g_variant_unref(reply);
        },
        nullptr);
}

void LidSwitch::lookAtAcpi() {
    const std::string folder = underSysroot(kLidFolder);
    std::optional<bool> found;
    std::string from;
    for (const auto& name : folderEntries(folder)) {
        const std::string path = folder + "/" + name + "/state";
        if (auto text = readTextFile(path, 256)) {
            if (auto state = parseLidState(*text)) {
                found = state;
                from = path;
                break;
            }
        }
    }
    const bool before = closed();
    acpiClosed_ = found;
    if (!logindClosed_)
        source_ = from;
    if (closed() != before)
        changed_();
}

void LidSwitch::onSignal(GDBusConnection*, const char*, const char*, const char*, const char* name,
                         void* parameters, void* data) {
    auto* self = static_cast<LidSwitch*>(data);
    auto* params = static_cast<GVariant*>(parameters);
    if (g_strcmp0(name, "PrepareForSleep") == 0) {
        if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(b)")))
            return;
        gboolean sleeping = FALSE;
        g_variant_get(params, "(b)", &sleeping);
        const bool woke = self->sleeping_ && !sleeping;
        self->sleeping_ = sleeping;
        if (woke && self->woke_)
            self->woke_();
        return;
    }
    if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(sa{sv}as)")))
        return;
    GVariant* changed = g_variant_get_child_value(params, 1);
    gboolean closed = FALSE;
    if (g_variant_lookup(changed, "LidClosed", "b", &closed)) {
        const bool before = self->closed();
        self->logindClosed_ = closed;
        self->source_ = "systemd-logind";
        if (self->closed() != before)
            self->changed_();
    }
    g_variant_unref(changed);
}

}  // namespace platform::linux_machine
