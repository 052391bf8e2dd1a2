#include "linux/bus/SessionBusLater.h"

#include <gio/gio.h>

namespace platform::linux_machine {
namespace {

struct Waiting {
    std::weak_ptr<void> asker;
    std::function<void(GDBusConnection*, const std::string&)> then;
};

}  // namespace

void connectSessionBusLater(std::weak_ptr<void> asker,
                            std::function<void(GDBusConnection*, const std::string& why)> then) {
    g_bus_get(
        G_BUS_TYPE_SESSION, nullptr,
        [](GObject*, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Waiting> waiting(static_cast<Waiting*>(data));
            GError* error = nullptr;
            GDBusConnection* connection = g_bus_get_finish(result, &error);
            const std::string why = error ? error->message : "unknown error";
            g_clear_error(&error);
            const auto asker = waiting->asker.lock();
            if (!asker) {
                if (connection)
                    g_object_unref(connection);
                return;
            }
            waiting->then(connection, why);
        },
        new Waiting{std::move(asker), std::move(then)});
}

}  // namespace platform::linux_machine
