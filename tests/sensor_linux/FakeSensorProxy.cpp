#include "FakeSensorProxy.h"

#include <gio/gio.h>

#include <stdexcept>

#include "support/PrivateBus.h"

namespace {

const char* const kIntrospection =
    "<node><interface name='net.hadess.SensorProxy'>"
    "<method name='ClaimLight'/><method name='ReleaseLight'/>"
    "<property name='HasAmbientLight' type='b' access='read'/>"
    "<property name='LightLevelUnit' type='s' access='read'/>"
    "<property name='LightLevel' type='d' access='read'/>"
    "</interface></node>";

GVariant* getProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                      GError**, gpointer data);
void methodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                GVariant*, GDBusMethodInvocation* invocation, gpointer data);

}  // namespace

struct FakeSensorProxyAccess {
    static FakeSensorProxy::State state(FakeSensorProxy* p) { return p->state(); }
    static void claimed(FakeSensorProxy* p) { ++p->claims_; }
    static void released(FakeSensorProxy* p) { ++p->releases_; }
    static bool announces(FakeSensorProxy* p) { return p->announces_; }
};

namespace {

GVariant* getProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                      GError**, gpointer data) {
    auto s = FakeSensorProxyAccess::state(static_cast<FakeSensorProxy*>(data));
    std::string n = name;
    if (n == "HasAmbientLight")
        return g_variant_new_boolean(s.hasAmbientLight);
    if (n == "LightLevelUnit")
        return g_variant_new_string(s.unit.c_str());
    return g_variant_new_double(s.level);
}

// PropertiesChanged: the sensor's presence when `presence`, and the unit and
// level whenever there is a sensor.
void announce(GDBusConnection* connection, const FakeSensorProxy::State& state, bool presence) {
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    if (presence)
        g_variant_builder_add(&changed, "{sv}", "HasAmbientLight",
                              g_variant_new_boolean(state.hasAmbientLight));
    if (state.hasAmbientLight) {
        g_variant_builder_add(&changed, "{sv}", "LightLevelUnit",
                              g_variant_new_string(state.unit.c_str()));
        g_variant_builder_add(&changed, "{sv}", "LightLevel", g_variant_new_double(state.level));
    }
    g_dbus_connection_emit_signal(
        connection, nullptr, "/net/hadess/SensorProxy", "org.freedesktop.DBus.Properties",
        "PropertiesChanged",
        g_variant_new("(sa{sv}as)", "net.hadess.SensorProxy", &changed, nullptr), nullptr);
}

void methodCall(GDBusConnection* connection, const gchar*, const gchar*, const gchar*,
                const gchar* method, GVariant*, GDBusMethodInvocation* invocation, gpointer data) {
    auto* proxy = static_cast<FakeSensorProxy*>(data);
    bool claim = std::string(method) == "ClaimLight";
    if (claim)
        FakeSensorProxyAccess::claimed(proxy);
    else
        FakeSensorProxyAccess::released(proxy);
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (claim && FakeSensorProxyAccess::announces(proxy))
        announce(connection, FakeSensorProxyAccess::state(proxy), false);
}

const GDBusInterfaceVTable kVTable = {methodCall, getProperty, nullptr, {}};

}  // namespace

FakeSensorProxy::FakeSensorProxy(const std::string& busAddress, State initial)
    : state_(std::move(initial)) {
    std::promise<bool> started;
    auto result = started.get_future();
    thread_ = std::thread([this, busAddress, &started] { run(busAddress, started); });
    if (!result.get()) {
        thread_.join();
        throw std::runtime_error("the fake iio-sensor-proxy could not connect to its bus");
    }
}

void FakeSensorProxy::run(const std::string& busAddress, std::promise<bool>& started) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    connection_ = g_dbus_connection_new_for_address_sync(
        busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (connection_) {
        g_dbus_connection_set_exit_on_close(connection_, FALSE);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        g_dbus_connection_register_object(connection_, "/net/hadess/SensorProxy",
                                          node->interfaces[0], &kVTable, this, nullptr, nullptr);
        g_dbus_node_info_unref(node);
        testing_support::requestBusName(connection_, "net.hadess.SensorProxy");
    }
    loop_ = g_main_loop_new(context, FALSE);
    started.set_value(connection_ != nullptr);
    if (connection_)
        g_main_loop_run(loop_);
    if (connection_)
        g_object_unref(connection_);
    g_main_loop_unref(loop_);
    loop_ = nullptr;
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}

FakeSensorProxy::~FakeSensorProxy() {
    if (loop_) {
        GMainContext* context = g_main_loop_get_context(loop_);
        g_main_context_invoke(
            context,
            [](gpointer loop) {
                g_main_loop_quit(static_cast<GMainLoop*>(loop));
                return G_SOURCE_REMOVE;
            },
            loop_);
    }
    if (thread_.joinable())
        thread_.join();
}

void FakeSensorProxy::setState(const State& state) {
    State before;
    {
        std::lock_guard lock(mutex_);
        before = state_;
        state_ = state;
    }
    bool presence = before.hasAmbientLight != state.hasAmbientLight || before.unit != state.unit;
    if (connection_ && (presence || (announces_ && claims_ > releases_)))
        announce(connection_, state, presence);
}

FakeSensorProxy::State FakeSensorProxy::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void FakeSensorProxy::releaseName() {
    GVariant* reply = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "ReleaseName", g_variant_new("(s)", "net.hadess.SensorProxy"), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply)
        g_variant_unref(reply);
}
