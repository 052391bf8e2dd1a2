#include "support/SignalCounter.h"

#include <gio/gio.h>

#include <stdexcept>

#include "linux/bus/PrivateBusConnection.h"

namespace testing_support {

SignalCounter::SignalCounter() {
    // A private connection, so the product's own shared connection is not involved.
    std::string why;
    connection_ = platform::linux_machine::openPrivateBusConnection(G_BUS_TYPE_SESSION, &why);
    if (!connection_)
        throw std::runtime_error(why);
    subscription_ = g_dbus_connection_signal_subscribe(
        connection_, nullptr, "platform.DistributedNotificationCenter", "Notification",
        "/DistributedNotificationCenter", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
           GVariant* params, gpointer self) {
            const gchar* n = "";
            const gchar* o = "";
            if (g_variant_is_of_type(params, G_VARIANT_TYPE("(ss)")))
                g_variant_get(params, "(&s&s)", &n, &o);
            static_cast<SignalCounter*>(self)->signals_.push_back({n, o});
        },
        this, nullptr);
    // Make sure the match rule is in place before anything is posted.
    GVariant* r = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "GetId", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (r)
        g_variant_unref(r);
}

SignalCounter::~SignalCounter() {
    if (connection_) {
        g_dbus_connection_signal_unsubscribe(connection_, subscription_);
        g_object_unref(connection_);
    }
}

const std::vector<SignalCounter::Signal>& SignalCounter::waitFor(size_t count) {
    gint64 end = g_get_monotonic_time() + 2 * G_TIME_SPAN_SECOND;
    while (signals_.size() < count && g_get_monotonic_time() < end)
        g_main_context_iteration(nullptr, FALSE);
    return signals_;
}

const std::vector<SignalCounter::Signal>& SignalCounter::settle() {
    gint64 end = g_get_monotonic_time() + 200 * G_TIME_SPAN_MILLISECOND;
    while (g_get_monotonic_time() < end)
        g_main_context_iteration(nullptr, FALSE);
    return signals_;
}

}  // namespace testing_support
