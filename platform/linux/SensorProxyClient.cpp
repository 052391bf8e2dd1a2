#include "linux/SensorProxyClient.h"

#include <gio/gio.h>

#include "linux/PrivateBusConnection.h"

#include <cmath>

namespace platform::linux_machine {
namespace {

constexpr const char* kService = "net.hadess.SensorProxy";
constexpr const char* kPath = "/net/hadess/SensorProxy";
constexpr const char* kInterface = "net.hadess.SensorProxy";
// The run loop waits for these calls: a hung service must not freeze it for long.
constexpr int kCallTimeoutMs = 500;
// How long the first read after a claim waits for the service's first
// announcement. iio-sensor-proxy 3.0 polls IIO light sensors every 0.8 s and
// announces its first reading at the first poll, also a reading of 0 lux
// (measured: umockdev test bed with an iio-poll-als device, the first
// PropertiesChanged 0.80 s after ClaimLight).
constexpr long long kFirstAnnouncementWaitUs = 1'500'000;

// The reply of a method call, or null on any error (no service, timeout, ...).
GVariant* call(GDBusConnection* c, const char* destination, const char* path, const char* iface,
               const char* method, GVariant* args, const char* replyType) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        c, destination, path, iface, method, args, replyType ? G_VARIANT_TYPE(replyType) : nullptr,
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
    g_clear_error(&error);
    return reply;
}

struct Properties {
    bool hasAmbientLight = false;
    std::string unit;
    std::optional<double> level;
};

std::optional<Properties> fetchProperties(GDBusConnection* c) {
    GVariant* reply = call(c, kService, kPath, "org.freedesktop.DBus.Properties", "GetAll",
                           g_variant_new("(s)", kInterface), "(a{sv})");
    if (!reply)
        return std::nullopt;
    Properties p;
    GVariant* dict = g_variant_get_child_value(reply, 0);
    gboolean has = FALSE;
    if (g_variant_lookup(dict, "HasAmbientLight", "b", &has))
        p.hasAmbientLight = has;
    const gchar* unit = nullptr;
    if (g_variant_lookup(dict, "LightLevelUnit", "&s", &unit) && unit)
        p.unit = unit;
    gdouble level = 0.0;
    if (g_variant_lookup(dict, "LightLevel", "d", &level))
        p.level = level;
    g_variant_unref(dict);
    g_variant_unref(reply);
    return p;
}

std::string nameOwner(GDBusConnection* c) {
    GVariant* reply =
        call(c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
             "GetNameOwner", g_variant_new("(s)", kService), "(s)");
    if (!reply)
        return {};
    const gchar* owner = nullptr;
    g_variant_get(reply, "(&s)", &owner);
    std::string result = owner ? owner : "";
    g_variant_unref(reply);
    return result;
}

// PropertiesChanged of the service: notes the sender when it announced a light
// level. The announcement a starting daemon sends as soon as its drivers are
// set up carries every property, HasAmbientLight among them, with LightLevel
// still 0.0 (seen from iio-sensor-proxy 3.0 under umockdev): that one tells
// which sensors there are, and is not a reading.
void onPropertiesChanged(GDBusConnection*, const gchar* sender, const gchar*, const gchar*,
                         const gchar*, GVariant* parameters, gpointer announcedBy) {
    if (!sender || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)")))
        return;
    const gchar* iface = nullptr;
    GVariant* changed = nullptr;
    const gchar** invalidated = nullptr;
    g_variant_get(parameters, "(&s@a{sv}^a&s)", &iface, &changed, &invalidated);
    GVariant* level = g_variant_lookup_value(changed, "LightLevel", nullptr);
    GVariant* presence = g_variant_lookup_value(changed, "HasAmbientLight", nullptr);
    bool light = level != nullptr && presence == nullptr;
    if (level)
        g_variant_unref(level);
    if (presence)
        g_variant_unref(presence);
    for (const gchar** name = invalidated; !light && name && *name; ++name)
        light = std::string(*name) == "LightLevel";
    if (light && std::string(iface) == kInterface)
        *static_cast<std::string*>(announcedBy) = sender;
    g_variant_unref(changed);
    g_free(invalidated);
}

gboolean wakeUp(gpointer) {
    return G_SOURCE_REMOVE;
}

}  // namespace

SensorProxyClient::~SensorProxyClient() {
    unsubscribe();
    if (connection_)
        g_object_unref(connection_);
    if (signals_)
        g_main_context_unref(signals_);
}

void SensorProxyClient::subscribe() {
    if (!signals_)
        signals_ = g_main_context_new();
    g_main_context_push_thread_default(signals_);
    subscription_ = g_dbus_connection_signal_subscribe(
        connection_, kService, "org.freedesktop.DBus.Properties", "PropertiesChanged", kPath,
        kInterface, G_DBUS_SIGNAL_FLAGS_NONE, onPropertiesChanged, &announcedBy_, nullptr);
    g_main_context_pop_thread_default(signals_);
}

void SensorProxyClient::unsubscribe() {
    if (connection_ && subscription_)
        g_dbus_connection_signal_unsubscribe(connection_, subscription_);
    subscription_ = 0;
    if (signals_) {
        while (g_main_context_iteration(signals_, FALSE)) {
        }
    }
}

void SensorProxyClient::awaitAnnouncement(long long deadline) {
    while (g_main_context_iteration(signals_, FALSE)) {
    }
    while (announcedBy_ != claimedOwner_) {
        long long left = deadline - g_get_monotonic_time();
        if (left <= 0)
            return;
        GSource* timeout = g_timeout_source_new(static_cast<guint>(left / 1000 + 1));
        g_source_set_callback(timeout, wakeUp, nullptr, nullptr);
        g_source_attach(timeout, signals_);
        g_main_context_iteration(signals_, TRUE);
        g_source_destroy(timeout);
        g_source_unref(timeout);
    }
}

GDBusConnection* SensorProxyClient::bus() {
    if (connection_ && g_dbus_connection_is_closed(connection_)) {
        unsubscribe();
        g_object_unref(connection_);
        connection_ = nullptr;
        claimedOwner_.clear();
    }
    if (connection_)
        return connection_;
    connection_ = openPrivateBusConnection(G_BUS_TYPE_SYSTEM);
    if (connection_)
        subscribe();  // before any claim, so no first announcement is missed
    return connection_;
}

bool SensorProxyClient::claimFor(const std::string& owner) {
    if (owner.empty())
        return false;
    if (owner == claimedOwner_)
        return true;
    GVariant* reply =
        call(connection_, owner.c_str(), kPath, kInterface, "ClaimLight", nullptr, "()");
    if (!reply)
        return false;
    g_variant_unref(reply);
    claimedOwner_ = owner;
    claimedAt_ = g_get_monotonic_time();
    return true;
}

SensorProxyClient::Result SensorProxyClient::read() {
    Result result;
    GDBusConnection* c = bus();
    if (!c)
        return result;
    auto props = fetchProperties(c);  // starts the service when it is activatable
    if (!props || !props->hasAmbientLight) {
        claimedOwner_.clear();
        return result;
    }
    if (props->unit != "lux") {
        result.status = Status::NotLux;
        return result;
    }
    std::string owner = nameOwner(c);
    bool claimedNow = owner != claimedOwner_;
    if (claimedNow && !claimFor(owner)) {
        claimedOwner_.clear();
        return result;
    }
    bool wasAnnounced = announcedBy_ == claimedOwner_;
    awaitAnnouncement(claimedAt_ + kFirstAnnouncementWaitUs);
    result.announced = announcedBy_ == claimedOwner_;
    if (claimedNow || result.announced != wasAnnounced) {
        // The level is kept up to date only from the claim on.
        props = fetchProperties(c);
        if (!props || !props->hasAmbientLight || props->unit != "lux")
            return result;
    }
    result.status = Status::Reading;
    if (props->level && std::isfinite(*props->level) && *props->level >= 0.0)
        result.lux = props->level;
    return result;
}

}  // namespace platform::linux_machine
