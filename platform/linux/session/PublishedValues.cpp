#include "linux/session/PublishedValues.h"

#include <gio/gio.h>

#include "linux/bus/PropertyChanges.h"
#include "linux/bus/PropertyChangesWatch.h"
#include "linux/bus/PropertyReadLater.h"
#include "linux/bus/ServiceWatch.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kProperty = "Values";

GVariant* valuesVariant(const std::map<std::string, std::string>& values) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{ss}"));
    for (const auto& [key, value] : values)
        g_variant_builder_add(&builder, "{ss}", key.c_str(), value.c_str());
    return g_variant_builder_end(&builder);
}

std::optional<std::string> lookup(GVariant* values, const std::string& key) {
    const gchar* value = nullptr;
    if (!values || !g_variant_is_of_type(values, G_VARIANT_TYPE("a{ss}")) ||
        !g_variant_lookup(values, key.c_str(), "&s", &value))
        return std::nullopt;
    return std::string(value);
}

}  // namespace

std::string objectPathForBusName(const std::string& name) {
    std::string path = "/";
    for (char c : name)
        path += c == '.' ? '/' : c;
    return path;
}

struct PublishedValues::Watch {
    GDBusConnection* bus = nullptr;
    std::string name, key;
    Handler handler;
    ServiceWatch owner;
    PropertyChangesWatch announcements;
    GCancellable* reading = nullptr;

    void read() {
        // NO_AUTO_START: the holder is a running program, never one to start.
        readPropertyLater(
            bus, name, objectPathForBusName(name), name.c_str(), kProperty, -1, &reading,
            [this](GVariant* values) { handler(values ? lookup(values, key) : std::nullopt); });
    }

    ~Watch() {
        if (reading)
            g_cancellable_cancel(reading);
        g_clear_object(&reading);
    }
};

PublishedValues::PublishedValues() = default;

PublishedValues::~PublishedValues() {
    watches_.clear();
    if (registration_)
        g_dbus_connection_unregister_object(bus_, registration_);
}

void PublishedValues::registerObject(GDBusConnection* bus, const std::string& name) {
    const std::string xml = "<node><interface name='" + name + "'><property name='" + kProperty +
                            "' type='a{ss}' access='read'/></interface></node>";
    GError* error = nullptr;
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(xml.c_str(), &error);
    g_clear_error(&error);
    if (!info)
        return;
    static const GDBusInterfaceVTable vtable = {
        nullptr,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
           GError**, gpointer data) -> GVariant* {
            auto* self = static_cast<PublishedValues*>(data);
            return g_strcmp0(property, kProperty) == 0 ? valuesVariant(self->values_) : nullptr;
        },
        nullptr,
        {}};
    registration_ =
        g_dbus_connection_register_object(bus, objectPathForBusName(name).c_str(),
                                          info->interfaces[0], &vtable, this, nullptr, nullptr);
    g_dbus_node_info_unref(info);
    bus_ = bus;
    name_ = name;
}

void PublishedValues::publish(GDBusConnection* bus, const std::string& name, const std::string& key,
                              const std::string& value) {
    if (!registration_)
        registerObject(bus, name);
    if (!registration_)
        return;
    values_[key] = value;
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&changed, "{sv}", kProperty, valuesVariant(values_));
    g_dbus_connection_emit_signal(bus_, nullptr, objectPathForBusName(name_).c_str(),
                                  "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                  g_variant_new("(sa{sv}as)", name_.c_str(), &changed, nullptr),
                                  nullptr);
}

int PublishedValues::watch(GDBusConnection* bus, const std::string& name, const std::string& key,
                           Handler handler) {
    const int token = nextWatch_++;
    auto w = std::make_unique<Watch>();
    w->bus = bus;
    w->name = name;
    w->key = key;
    w->handler = std::move(handler);
    Watch* raw = w.get();
    watches_[token] = std::move(w);
    raw->announcements.start(bus, name.c_str(), objectPathForBusName(name).c_str(), name.c_str(),
                             [raw](const char*, const char*, const PropertyChanges& changes) {
                                 if (Variant values = changes.value(kProperty, "a{ss}"))
                                     raw->handler(lookup(values.get(), raw->key));
                             });
    raw->owner.start(
        bus, name, [raw](const std::string&) { raw->read(); },
        [raw] { raw->handler(std::nullopt); });
    return token;
}

void PublishedValues::unwatch(int token) {
    watches_.erase(token);
}

}  // namespace platform::linux_machine
