#include "FakeGeoClue.h"

#include <gio/gio.h>

#include <future>
#include <stdexcept>

#include "support/PrivateBus.h"

namespace {

constexpr const char* kClientPath = "/org/freedesktop/GeoClue2/Client/1";

const char* const kManagerXml =
    "<node><interface name='org.freedesktop.GeoClue2.Manager'>"
    "<property name='InUse' type='b' access='read'/>"
    "<property name='AvailableAccuracyLevel' type='u' access='read'/>"
    "<method name='GetClient'><arg name='client' type='o' direction='out'/></method>"
    "<method name='CreateClient'><arg name='client' type='o' direction='out'/></method>"
    "</interface></node>";
const char* const kClientXml =
    "<node><interface name='org.freedesktop.GeoClue2.Client'>"
    "<property name='Location' type='o' access='read'/>"
    "<property name='DistanceThreshold' type='u' access='readwrite'/>"
    "<property name='TimeThreshold' type='u' access='readwrite'/>"
    "<property name='DesktopId' type='s' access='readwrite'/>"
    "<property name='RequestedAccuracyLevel' type='u' access='readwrite'/>"
    "<property name='Active' type='b' access='read'/>"
    "<method name='Start'/><method name='Stop'/>"
    "<signal name='LocationUpdated'><arg name='old' type='o'/><arg name='new' type='o'/></signal>"
    "</interface></node>";
const char* const kLocationXml =
    "<node><interface name='org.freedesktop.GeoClue2.Location'>"
    "<property name='Latitude' type='d' access='read'/>"
    "<property name='Longitude' type='d' access='read'/>"
    "<property name='Accuracy' type='d' access='read'/>"
    "<property name='Description' type='s' access='read'/>"
    "</interface></node>";

std::string locationPath(unsigned n) {
    return std::string(kClientPath) + "/Location/" + std::to_string(n);
}

}  // namespace

struct FakeGeoClueAccess {
    static void managerCall(GDBusConnection* connection, const gchar* sender, const gchar*,
                            const gchar*, const gchar*, GVariant*,
                            GDBusMethodInvocation* invocation, gpointer data);
    static void clientCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                           const gchar* method, GVariant*, GDBusMethodInvocation* invocation,
                           gpointer data);
    static GVariant* clientGet(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                               const gchar* name, GError**, gpointer data);
    static gboolean clientSet(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                              const gchar* name, GVariant* value, GError**, gpointer data);
};

namespace {

const GDBusInterfaceVTable kManagerVTable = {FakeGeoClueAccess::managerCall, nullptr, nullptr, {}};
const GDBusInterfaceVTable kClientVTable = {
    FakeGeoClueAccess::clientCall, FakeGeoClueAccess::clientGet, FakeGeoClueAccess::clientSet, {}};

struct LocationValues {
    double latitude;
    double longitude;
    std::string description;
};

GVariant* locationGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                      GError**, gpointer data) {
    auto* v = static_cast<LocationValues*>(data);
    const std::string n = name;
    if (n == "Latitude")
        return g_variant_new_double(v->latitude);
    if (n == "Longitude")
        return g_variant_new_double(v->longitude);
    if (n == "Accuracy")
        return g_variant_new_double(20000.0);
    return g_variant_new_string(v->description.c_str());
}

const GDBusInterfaceVTable kLocationVTable = {nullptr, locationGet, nullptr, {}};

unsigned registerObject(GDBusConnection* connection, const char* path, const char* xml,
                        const GDBusInterfaceVTable* vtable, gpointer data, GDestroyNotify free) {
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml, nullptr);
    const unsigned id = g_dbus_connection_register_object(connection, path, node->interfaces[0],
                                                          vtable, data, free, nullptr);
    g_dbus_node_info_unref(node);
    return id;
}

}  // namespace

void FakeGeoClueAccess::managerCall(GDBusConnection* connection, const gchar* sender, const gchar*,
                                    const gchar*, const gchar*, GVariant*,
                                    GDBusMethodInvocation* invocation, gpointer data) {
    auto* fake = static_cast<FakeGeoClue*>(data);
    bool first = false;
    {
        std::lock_guard lock(fake->mutex_);
        first = fake->peer_.empty();
        fake->peer_ = sender;
    }
    if (first)
        fake->registrations_.push_back(
            registerObject(connection, kClientPath, kClientXml, &kClientVTable, fake, nullptr));
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", kClientPath));
}

void FakeGeoClueAccess::clientCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar* method, GVariant*,
                                   GDBusMethodInvocation* invocation, gpointer data) {
    auto* fake = static_cast<FakeGeoClue*>(data);
    if (std::string(method) == "Stop") {
        ++fake->stops_;
        fake->active_ = false;
        g_dbus_method_invocation_return_value(invocation, nullptr);
        return;
    }
    ++fake->starts_;
    if (fake->desktopId().empty()) {
        g_dbus_method_invocation_return_dbus_error(invocation,
                                                   "org.freedesktop.DBus.Error.AccessDenied",
                                                   "'DesktopId' property must be set");
        return;
    }
    if (fake->denied_) {
        g_dbus_method_invocation_return_dbus_error(invocation,
                                                   "org.freedesktop.DBus.Error.AccessDenied",
                                                   "Geolocation disabled for UID 1000");
        return;
    }
    fake->active_ = true;
    g_dbus_method_invocation_return_value(invocation, nullptr);
    fake->announce();
}

GVariant* FakeGeoClueAccess::clientGet(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                       const gchar* name, GError**, gpointer data) {
    auto* fake = static_cast<FakeGeoClue*>(data);
    const std::string n = name;
    if (n == "DesktopId")
        return g_variant_new_string(fake->desktopId().c_str());
    if (n == "RequestedAccuracyLevel")
        return g_variant_new_uint32(fake->accuracy_);
    if (n == "DistanceThreshold")
        return g_variant_new_uint32(fake->distance_);
    if (n == "TimeThreshold")
        return g_variant_new_uint32(0);
    if (n == "Active")
        return g_variant_new_boolean(fake->active_);
    std::lock_guard lock(fake->mutex_);
    return g_variant_new_object_path(fake->published_ ? locationPath(fake->published_ - 1).c_str()
                                                      : "/");
}

gboolean FakeGeoClueAccess::clientSet(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar* name, GVariant* value, GError**, gpointer data) {
    auto* fake = static_cast<FakeGeoClue*>(data);
    const std::string n = name;
    if (n == "DesktopId") {
        std::lock_guard lock(fake->mutex_);
        fake->desktopId_ = g_variant_get_string(value, nullptr);
    } else if (n == "RequestedAccuracyLevel") {
        fake->accuracy_ = g_variant_get_uint32(value);
    } else if (n == "DistanceThreshold") {
        fake->distance_ = g_variant_get_uint32(value);
    }
    return TRUE;
}

FakeGeoClue::FakeGeoClue(const std::string& busAddress, bool denied) : denied_(denied) {
    std::promise<bool> started;
    auto result = started.get_future();
    thread_ = std::thread([this, busAddress, &started] {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        loop_ = g_main_loop_new(context, FALSE);
        run(busAddress);
        started.set_value(connection_ != nullptr);
        if (connection_)
            g_main_loop_run(loop_);
        // Unregistered, each object's data is freed from an idle of this
        // context: run them before it goes.
        for (unsigned id : registrations_)
            if (connection_)
                g_dbus_connection_unregister_object(connection_, id);
        while (g_main_context_iteration(context, FALSE)) {
        }
        g_clear_object(&connection_);
        g_main_loop_unref(loop_);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    });
    if (!result.get()) {
        thread_.join();
        throw std::runtime_error("the fake GeoClue could not connect to its bus");
    }
}

void FakeGeoClue::run(const std::string& busAddress) {
    connection_ = g_dbus_connection_new_for_address_sync(
        busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!connection_)
        return;
    g_dbus_connection_set_exit_on_close(connection_, FALSE);
    registrations_.push_back(registerObject(connection_, "/org/freedesktop/GeoClue2/Manager",
                                            kManagerXml, &kManagerVTable, this, nullptr));
    testing_support::requestBusName(connection_, "org.freedesktop.GeoClue2");
}

FakeGeoClue::~FakeGeoClue() {
    g_main_context_invoke(
        g_main_loop_get_context(loop_),
        [](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        loop_);
    thread_.join();
}

std::string FakeGeoClue::desktopId() const {
    std::lock_guard lock(mutex_);
    return desktopId_;
}

void FakeGeoClue::locate(const Place& place) {
    {
        std::lock_guard lock(mutex_);
        place_ = place;
    }
    g_main_context_invoke(
        g_main_loop_get_context(loop_),
        [](gpointer self) {
            static_cast<FakeGeoClue*>(self)->announce();
            return G_SOURCE_REMOVE;
        },
        this);
}

void FakeGeoClue::announce() {
    std::string peer, old, fresh;
    LocationValues* values = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!active_ || !place_)
            return;
        peer = peer_;
        old = published_ ? locationPath(published_ - 1) : "/";
        fresh = locationPath(published_++);
        values = new LocationValues{place_->latitude, place_->longitude, place_->description};
    }
    registrations_.push_back(
        registerObject(connection_, fresh.c_str(), kLocationXml, &kLocationVTable, values,
                       [](gpointer v) { delete static_cast<LocationValues*>(v); }));
    g_dbus_connection_emit_signal(connection_, peer.c_str(), kClientPath,
                                  "org.freedesktop.GeoClue2.Client", "LocationUpdated",
                                  g_variant_new("(oo)", old.c_str(), fresh.c_str()), nullptr);
}

void FakeGeoClue::switchLocationServices(bool on) {
    struct Switch {
        FakeGeoClue* fake;
        bool on;
    };
    g_main_context_invoke_full(
        g_main_loop_get_context(loop_), G_PRIORITY_DEFAULT,
        [](gpointer data) {
            auto* s = static_cast<Switch*>(data);
            FakeGeoClue* fake = s->fake;
            fake->active_ = s->on;
            GVariantBuilder changed;
            g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
            g_variant_builder_add(&changed, "{sv}", "Active", g_variant_new_boolean(s->on));
            g_dbus_connection_emit_signal(
                fake->connection_, nullptr, kClientPath, "org.freedesktop.DBus.Properties",
                "PropertiesChanged",
                g_variant_new("(sa{sv}as)", "org.freedesktop.GeoClue2.Client", &changed, nullptr),
                nullptr);
            if (s->on)
                fake->announce();
            return G_SOURCE_REMOVE;
        },
        new Switch{this, on}, [](gpointer data) { delete static_cast<Switch*>(data); });
}
