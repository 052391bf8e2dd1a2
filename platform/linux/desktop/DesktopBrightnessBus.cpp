#include "linux/desktop/DesktopBrightnessBus.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

std::string signatureOf(GDBusArgInfo** args) {
    std::string signature;
    for (auto** a = args; a && *a; ++a)
        signature += (*a)->signature;
    return signature;
}

}  // namespace

std::string DesktopBus::uniqueName() const {
    const char* name = g_dbus_connection_get_unique_name(connection_);
    return name ? name : "";
}

Variant DesktopBus::call(const std::string& name, const std::string& path, const char* interface,
                         const char* method, GVariant* args, const char* replyType, int timeoutMs) {
    GError* error = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(connection_, name.c_str(), path.c_str(), interface, method,
                                    args, replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                    G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, nullptr, &error);
    if (!reply) {
        lastError_ = error ? error->message : "no reply";
        gchar* remote = error ? g_dbus_error_get_remote_error(error) : nullptr;
        lastErrorName_ = remote ? remote : "";
        g_free(remote);
    }
    g_clear_error(&error);
    return Variant(reply);
}

std::optional<std::string> DesktopBus::owner(const std::string& name) {
    Variant reply = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "GetNameOwner", g_variant_new("(s)", name.c_str()), "(s)");
    if (!reply)
        return std::nullopt;
    const gchar* unique = nullptr;
    g_variant_get(reply.get(), "(&s)", &unique);
    return std::string(unique);
}

InterfaceInfo DesktopBus::describe(const std::string& name, const std::string& path,
                                   const char* interface) {
    Variant reply =
        call(name, path, "org.freedesktop.DBus.Introspectable", "Introspect", nullptr, "(s)");
    if (!reply)
        return nullptr;
    const gchar* xml = nullptr;
    g_variant_get(reply.get(), "(&s)", &xml);
    GError* error = nullptr;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml, &error);
    if (!node) {
        lastError_ = error ? error->message : "unreadable introspection";
        g_clear_error(&error);
        return nullptr;
    }
    GDBusInterfaceInfo* found = g_dbus_node_info_lookup_interface(node, interface);
    InterfaceInfo info(found ? g_dbus_interface_info_ref(found) : nullptr);
    g_dbus_node_info_unref(node);
    if (!info)
        lastError_ = path + " does not offer " + interface;
    return info;
}

Variant DesktopBus::property(const std::string& name, const std::string& path,
                             const char* interface, const char* property) {
    Variant reply = call(name, path, kPropertiesInterface, "Get",
                         g_variant_new("(ss)", interface, property), "(v)");
    if (!reply)
        return nullptr;
    GVariant* value = nullptr;
    g_variant_get(reply.get(), "(v)", &value);
    return Variant(value);
}

Variant DesktopBus::properties(const std::string& name, const std::string& path,
                               const char* interface) {
    Variant reply = call(name, path, kPropertiesInterface, "GetAll",
                         g_variant_new("(s)", interface), "(a{sv})");
    return reply ? Variant(g_variant_get_child_value(reply.get(), 0)) : nullptr;
}

bool offersMethod(const GDBusInterfaceInfo* info, const char* method, const char* inSignature) {
    auto* m = g_dbus_interface_info_lookup_method(const_cast<GDBusInterfaceInfo*>(info), method);
    return m && signatureOf(m->in_args) == inSignature;
}

bool offersProperty(const GDBusInterfaceInfo* info, const char* property, const char* signature) {
    auto* p =
        g_dbus_interface_info_lookup_property(const_cast<GDBusInterfaceInfo*>(info), property);
    return p && g_strcmp0(p->signature, signature) == 0;
}

std::optional<bool> lookupBool(GVariant* dict, const char* key) {
    gboolean value = FALSE;
    if (!dict || !g_variant_lookup(dict, key, "b", &value))
        return std::nullopt;
    return value != FALSE;
}

std::optional<int> lookupInt(GVariant* dict, const char* key) {
    gint32 value = 0;
    if (!dict || !g_variant_lookup(dict, key, "i", &value))
        return std::nullopt;
    return value;
}

}  // namespace platform::linux_machine
