#include "linux/bus/ServiceWatch.h"

#include <gio/gio.h>

namespace platform::linux_machine {

void ServiceWatch::start(GDBusConnection* bus, const std::string& name, Appeared appeared,
                         Vanished vanished, Start autoStart) {
    stop();
    appeared_ = std::move(appeared);
    vanished_ = std::move(vanished);
    // No free function: GLib frees a watch's data from the context later, and
    // a thread's context may no longer run by then.
    id_ = g_bus_watch_name_on_connection(
        bus, name.c_str(),
        autoStart == Start::IfActivatable ? G_BUS_NAME_WATCHER_FLAGS_AUTO_START
                                          : G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar* owner, gpointer data) {
            auto* self = static_cast<ServiceWatch*>(data);
            if (self->appeared_)
                self->appeared_(owner);
        },
        [](GDBusConnection*, const gchar*, gpointer data) {
            auto* self = static_cast<ServiceWatch*>(data);
            if (self->vanished_)
                self->vanished_();
        },
        this, nullptr);
}

void ServiceWatch::stop() {
    if (id_)
        g_bus_unwatch_name(id_);
    id_ = 0;
}

}  // namespace platform::linux_machine
