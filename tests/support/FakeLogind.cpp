#include "support/FakeLogind.h"

#include <gio/gio.h>

#include <condition_variable>
#include <stdexcept>

#include "support/TempDir.h"

namespace testing_support {
namespace {

const char* kIntrospection =
    "<node><interface name='org.freedesktop.login1.Session'>"
    "<method name='SetBrightness'><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='u' direction='in'/></method>"
    "<property name='Active' type='b' access='read'/>"
    "<property name='Seat' type='(so)' access='read'/>"
    "</interface></node>";

std::condition_variable readyChanged;

}  // namespace

struct FakeLogindCallbacks {
    static void method(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* name, GVariant* params, GDBusMethodInvocation* invocation,
                       gpointer data) {
        auto* self = static_cast<FakeLogind*>(data);
        if (g_strcmp0(name, "SetBrightness") != 0) {
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.freedesktop.DBus.Error.UnknownMethod", "unknown method");
            return;
        }
        const gchar* subsystem = nullptr;
        const gchar* device = nullptr;
        guint32 value = 0;
        g_variant_get(params, "(&s&su)", &subsystem, &device, &value);
        {
            std::lock_guard lock(self->mutex_);
            self->calls_.push_back({subsystem, device, value});
        }
        // As method_set_brightness (src/login/logind-session-dbus.c) checks.
        if (self->seat_.empty()) {
            g_dbus_method_invocation_return_dbus_error(invocation,
                                                       "org.freedesktop.login1.NotYourDevice",
                                                       "Your session has no seat, refusing.");
            return;
        }
        if (self->refuse_ || !self->active_) {
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.freedesktop.DBus.Error.AccessDenied", "Session is not active");
            return;
        }
        std::string path = self->backlights_ + "/" + device + "/brightness";
        try {
            if (!fileExists(path))
                throw std::runtime_error("no such device");
            writeFile(path, std::to_string(value) + "\n");
        } catch (const std::exception&) {
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.freedesktop.login1.NoSuchDevice", "No such device");
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static GVariant* property(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                              const gchar* name, GError** error, gpointer data) {
        auto* self = static_cast<FakeLogind*>(data);
        if (g_strcmp0(name, "Active") == 0)
            return g_variant_new_boolean(self->active_);
        if (g_strcmp0(name, "Seat") == 0) {
            const std::string path =
                self->seat_.empty() ? "/" : "/org/freedesktop/login1/seat/" + self->seat_;
            return g_variant_new("(so)", self->seat_.c_str(), path.c_str());
        }
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "unknown property");
        return nullptr;
    }
};

FakeLogind::FakeLogind(std::string backlightClassFolder, bool sessionActive, std::string seat)
    : backlights_(std::move(backlightClassFolder)), active_(sessionActive), seat_(std::move(seat)) {
    thread_ = std::thread([this] { serve(); });
    std::unique_lock lock(readyMutex_);
    readyChanged.wait(lock, [this] { return ready_; });
    if (!failure_.empty()) {
        lock.unlock();
        thread_.join();
        throw std::runtime_error("fake logind: " + failure_);
    }
}

void FakeLogind::serve() {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    GDBusConnection* bus = nullptr;
    if (address) {
        bus = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_free(address);
    }
    guint object = 0;
    if (bus) {
        GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable = {
            FakeLogindCallbacks::method, FakeLogindCallbacks::property, nullptr, {}};
        object =
            g_dbus_connection_register_object(bus, "/org/freedesktop/login1/session/auto",
                                              info->interfaces[0], &vtable, this, nullptr, &error);
        g_dbus_node_info_unref(info);
        GVariant* reply =
            object
                ? g_dbus_connection_call_sync(
                      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "RequestName", g_variant_new("(su)", "org.freedesktop.login1", 4u),
                      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error)
                : nullptr;
        if (reply)
            g_variant_unref(reply);
        if (!reply)
            object = 0;
    }
    loop_ = g_main_loop_new(context_, FALSE);
    {
        std::lock_guard lock(readyMutex_);
        if (!bus || !object)
            failure_ = error ? error->message : "no system bus";
        ready_ = true;
    }
    readyChanged.notify_all();
    if (failure_.empty())
        g_main_loop_run(loop_);
    g_clear_error(&error);
    if (bus) {
        if (object)
            g_dbus_connection_unregister_object(bus, object);
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
    }
    g_main_context_pop_thread_default(context_);
}

FakeLogind::~FakeLogind() {
    if (thread_.joinable()) {
        g_main_context_invoke(
            context_,
            [](gpointer loop) -> gboolean {
                g_main_loop_quit(static_cast<GMainLoop*>(loop));
                return G_SOURCE_REMOVE;
            },
            loop_);
        thread_.join();
    }
    if (loop_)
        g_main_loop_unref(loop_);
    if (context_)
        g_main_context_unref(context_);
}

std::vector<FakeLogind::Call> FakeLogind::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace testing_support
