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

}  // namespace

SensorProxyClient::~SensorProxyClient() {
    if (connection_)
        g_object_unref(connection_);
}

GDBusConnection* SensorProxyClient::bus() {
    if (connection_ && g_dbus_connection_is_closed(connection_)) {
        g_object_unref(connection_);
        connection_ = nullptr;
        claimedOwner_.clear();
    }
    if (connection_)
        return connection_;
    connection_ = openPrivateBusConnection(G_BUS_TYPE_SYSTEM);
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
    if (owner != claimedOwner_) {
        if (!claimFor(owner)) {
            claimedOwner_.clear();
            return result;
        }
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
