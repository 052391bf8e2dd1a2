#include "support/FakeLogind.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <unistd.h>

#include <condition_variable>
#include <stdexcept>

#include "linux/bus/PrivateBusConnection.h"
#include "linux/foundation/MainContextPost.h"
#include "support/TempDir.h"

namespace testing_support {
namespace {

using platform::linux_machine::openPrivateBusConnection;
using platform::linux_machine::postToContext;

constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
constexpr const char* kAutoPath = "/org/freedesktop/login1/session/auto";

// logind writes the attribute as sd_device_set_sysattr_value does: opened
// without truncation and written in one piece, the value and its newline
// (systemd v252, src/libsystemd/sd-device/sd-device.c with
// write_string_file's WRITE_STRING_FILE_DISABLE_BUFFER, src/basic/fileio.c).
// A plain file standing in for sysfs then never reads empty to a test
// polling it while the write is under way.
bool writeAttribute(const std::string& path, const std::string& value) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    const std::string text = value + "\n";
    const bool whole = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return whole;
}

const char* kIntrospection =
    "<node><interface name='org.freedesktop.login1.Session'>"
    "<method name='SetBrightness'><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='u' direction='in'/></method>"
    "<property name='Id' type='s' access='read'/>"
    "<property name='Seat' type='(so)' access='read'/>"
    "<property name='Active' type='b' access='read'/>"
    "<property name='IdleHint' type='b' access='read'/>"
    "<property name='IdleSinceHint' type='t' access='read'/>"
    "<property name='IdleSinceHintMonotonic' type='t' access='read'/>"
    "</interface></node>";

// The manager's lid (src/login/logind-dbus.c: LidClosed, EMITS_CHANGE).
const char* kManagerIntrospection =
    "<node><interface name='org.freedesktop.login1.Manager'>"
    "<property name='LidClosed' type='b' access='read'/>"
    "</interface></node>";
constexpr const char* kManagerPath = "/org/freedesktop/login1";

// The greeter's session: at the screen while the caller's is not, never idle.
bool isGreeter(const gchar* path) {
    return g_strcmp0(path, FakeLogind::kGreeterPath) == 0;
}

std::condition_variable readyChanged;

}  // namespace

struct FakeLogindCallbacks {
    static void method(GDBusConnection*, const gchar*, const gchar* objectPath, const gchar*,
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
        const bool greeter = isGreeter(objectPath);
        const bool foreground = greeter ? !self->active_ : self->active_.load();
        if (!foreground) {
            g_dbus_method_invocation_return_dbus_error(invocation,
                                                       "org.freedesktop.login1.NotYourDevice",
                                                       "Session is not in foreground, refusing.");
            return;
        }
        if (self->refuse_ || greeter) {  // the greeter's session is not the caller's user's
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.freedesktop.DBus.Error.AccessDenied",
                "Only owner of session may change brightness.");
            return;
        }
        std::string path = self->backlights_ + "/" + device + "/brightness";
        if (!writeAttribute(path, std::to_string(value))) {
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.freedesktop.login1.NoSuchDevice", "No such device");
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static GVariant* property(GDBusConnection*, const gchar*, const gchar* path, const gchar*,
                              const gchar* name, GError** error, gpointer data) {
        auto* self = static_cast<FakeLogind*>(data);
        const bool greeter = isGreeter(path);
        if (g_strcmp0(name, "LidClosed") == 0)
            return g_variant_new_boolean(self->lidClosed_);
        if (g_strcmp0(name, "Id") == 0)
            return g_variant_new_string(greeter ? "c1" : "2");
        if (g_strcmp0(name, "Active") == 0)
            return g_variant_new_boolean(greeter ? !self->active_ : self->active_.load());
        if (g_strcmp0(name, "IdleHint") == 0)
            return g_variant_new_boolean(!greeter && self->idle_);
        if (g_strcmp0(name, "IdleSinceHint") == 0)
            return g_variant_new_uint64(greeter ? 0 : self->idleSince_.load());
        if (g_strcmp0(name, "IdleSinceHintMonotonic") == 0)
            return g_variant_new_uint64(greeter ? 0 : self->idleSinceMonotonic_.load());
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
    std::string noBus;
    GDBusConnection* bus = openPrivateBusConnection(G_BUS_TYPE_SYSTEM, &noBus);
    GError* error = nullptr;
    std::vector<guint> objects;
    bool registered = false;
    if (bus) {
        GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable = {
            FakeLogindCallbacks::method, FakeLogindCallbacks::property, nullptr, {}};
        for (const char* path : {kSessionPath, kAutoPath, kGreeterPath}) {
            const guint object = g_dbus_connection_register_object(bus, path, info->interfaces[0],
                                                                   &vtable, this, nullptr, &error);
            if (!object)
                break;
            objects.push_back(object);
        }
        GDBusNodeInfo* manager = g_dbus_node_info_new_for_xml(kManagerIntrospection, nullptr);
        if (objects.size() == 3) {
            const guint object = g_dbus_connection_register_object(
                bus, kManagerPath, manager->interfaces[0], &vtable, this, nullptr, &error);
            if (object)
                objects.push_back(object);
        }
        registered = objects.size() == 4;
        g_dbus_node_info_unref(manager);
        g_dbus_node_info_unref(info);
        GVariant* reply =
            registered
                ? g_dbus_connection_call_sync(
                      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "RequestName", g_variant_new("(su)", "org.freedesktop.login1", 4u),
                      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error)
                : nullptr;
        if (reply)
            g_variant_unref(reply);
        if (!reply)
            registered = false;
    }
    bus_ = bus;
    loop_ = g_main_loop_new(context_, FALSE);
    {
        std::lock_guard lock(readyMutex_);
        if (!bus)
            failure_ = noBus;
        else if (!registered)
            failure_ = error ? error->message : "no system bus";
        ready_ = true;
    }
    readyChanged.notify_all();
    if (failure_.empty())
        g_main_loop_run(loop_);
    g_clear_error(&error);
    if (bus) {
        for (guint object : objects)
            g_dbus_connection_unregister_object(bus, object);
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
    }
    g_main_context_pop_thread_default(context_);
}

FakeLogind::~FakeLogind() {
    stall(false);
    if (thread_.joinable()) {
        postToContext(context_, [loop = loop_] { g_main_loop_quit(loop); });
        thread_.join();
    }
    if (loop_)
        g_main_loop_unref(loop_);
    if (context_)
        g_main_context_unref(context_);
}

void FakeLogind::announce(const char* path, const char* property, bool value, bool withIdleSince) {
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&changed, "{sv}", property, g_variant_new_boolean(value));
    if (withIdleSince) {
        g_variant_builder_add(&changed, "{sv}", "IdleSinceHint", g_variant_new_uint64(idleSince_));
        g_variant_builder_add(&changed, "{sv}", "IdleSinceHintMonotonic",
                              g_variant_new_uint64(idleSinceMonotonic_));
    }
    g_dbus_connection_emit_signal(
        bus_, nullptr, path, "org.freedesktop.DBus.Properties", "PropertiesChanged",
        g_variant_new("(sa{sv}as)", kSessionInterface, &changed, nullptr), nullptr);
}

void FakeLogind::stall(bool stalled) {
    {
        std::lock_guard lock(stallMutex_);
        if (stalled_ == stalled)
            return;
        stalled_ = stalled;
    }
    if (!stalled) {
        stallEnded_.notify_all();
        return;
    }
    // The fake's own thread waits until let go, answering nothing meanwhile.
    g_main_context_invoke(
        context_,
        [](gpointer data) -> gboolean {
            auto* self = static_cast<FakeLogind*>(data);
            std::unique_lock lock(self->stallMutex_);
            self->stallEnded_.wait(lock, [self] { return !self->stalled_; });
            return G_SOURCE_REMOVE;
        },
        this);
}

void FakeLogind::setActive(bool active) {
    if (active_.exchange(active) == active)
        return;
    // The session that leaves the screen first, then the one now at it.
    if (active) {
        announce(kGreeterPath, "Active", false, false);
        announce(kSessionPath, "Active", true, false);
    } else {
        announce(kSessionPath, "Active", false, false);
        announce(kGreeterPath, "Active", true, false);
    }
}

void FakeLogind::setLidClosed(bool closed) {
    if (lidClosed_.exchange(closed) == closed)
        return;
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&changed, "{sv}", "LidClosed", g_variant_new_boolean(closed));
    g_dbus_connection_emit_signal(
        bus_, nullptr, kManagerPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
        g_variant_new("(sa{sv}as)", "org.freedesktop.login1.Manager", &changed, nullptr), nullptr);
}

void FakeLogind::setIdle(bool idle) {
    if (idle_.exchange(idle) == idle)
        return;
    idleSince_ = static_cast<std::uint64_t>(g_get_real_time());
    idleSinceMonotonic_ = static_cast<std::uint64_t>(g_get_monotonic_time());
    announce(kSessionPath, "IdleHint", idle, true);
}

void FakeLogind::prepareForSleep(bool sleeping) {
    g_dbus_connection_emit_signal(bus_, nullptr, "/org/freedesktop/login1",
                                  "org.freedesktop.login1.Manager", "PrepareForSleep",
                                  g_variant_new("(b)", sleeping), nullptr);
}

std::vector<FakeLogind::Call> FakeLogind::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace testing_support
