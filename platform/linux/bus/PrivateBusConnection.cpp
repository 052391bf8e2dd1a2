#include "linux/bus/PrivateBusConnection.h"

namespace platform::linux_machine {

GDBusConnection* openPrivateBusConnection(GBusType type, std::string* why) {
    GError* error = nullptr;
    GDBusConnection* connection = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(type, nullptr, &error);
    if (address) {
        connection = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_free(address);
    }
    if (!connection && why)
        *why = error ? error->message : "unknown error";
    g_clear_error(&error);
    if (connection)
        g_dbus_connection_set_exit_on_close(connection, FALSE);
    return connection;
}

}  // namespace platform::linux_machine
