#include "linux/light/LidSwitch.h"

#include <gio/gio.h>

#include "linux/bus/LogindNames.h"
#include "linux/bus/PrivateBusConnection.h"
#include "linux/bus/PropertyChanges.h"
#include "linux/bus/PropertyChangesWatch.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

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
    logind_.stop();
    lidAnnouncements_.stop();
    if (bus_) {
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
        logind_.stop();
        lidAnnouncements_.stop();
        g_object_set_data(G_OBJECT(bus_), "duolume-lid-switch", nullptr);
        g_object_unref(bus_);
        bus_ = nullptr;
        sleepSubscription_ = 0;
        asking_ = logindThere_ = false;
        logindClosed_.reset();
    }
    if (!bus_) {
        bus_ = openPrivateBusConnection(G_BUS_TYPE_SYSTEM);
        if (bus_) {
            g_object_set_data(G_OBJECT(bus_), "duolume-lid-switch", this);
            lidAnnouncements_.start(
                bus_, logind::kName, logind::kManagerPath, logind::kManagerInterface,
                [this](const char*, const char*, const PropertyChanges& changes) {
                    if (auto closed = changes.boolean("LidClosed"))
                        logindSays(*closed);
                });
            sleepSubscription_ = g_dbus_connection_signal_subscribe(
                bus_, logind::kName, logind::kManagerInterface, "PrepareForSleep",
                logind::kManagerPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                reinterpret_cast<GDBusSignalCallback>(onSignal), this, nullptr);
            logind_.start(
                bus_, logind::kName,
                [this](const std::string&) {
                    logindThere_ = true;
                    if (!asking_)
                        ask();
                },
                [this] {
                    logindThere_ = false;
                    const bool before = closed();
                    logindClosed_.reset();
                    lookAtAcpi();
                    if (closed() != before)
                        changed_();
                });
        }
    }
    if (!logindClosed_)
        lookAtAcpi();
}

void LidSwitch::ask() {
    asking_ = true;
    g_dbus_connection_call(
        bus_, logind::kName, logind::kManagerPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", logind::kManagerInterface, "LidClosed"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer) {
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            auto* self = static_cast<LidSwitch*>(g_object_get_data(source, "duolume-lid-switch"));
            if (self) {
                self->asking_ = false;
                if (reply) {
                    GVariant* value = nullptr;
                    g_variant_get(reply, "(v)", &value);
                    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
                        self->logindSays(g_variant_get_boolean(value));
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

void LidSwitch::logindSays(bool closed) {
    const bool before = this->closed();
    logindClosed_ = closed;
    source_ = "systemd-logind";
    if (this->closed() != before)
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
    }
}

}  // namespace platform::linux_machine
