#include "support/DesktopService.h"

#include <gio/gio.h>
#include <signal.h>
#include <unistd.h>

#include <stdexcept>

#include "support/Waiting.h"

namespace testing_support {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
const std::string kFakes = DUOLUME_SOURCE_DIR "/tests/support/desktop-fakes/";

struct Fake {
    const char* name;
    const char* path;
    const char* file;
};

Fake fakeFor(DesktopService::Kind kind) {
    switch (kind) {
        case DesktopService::Kind::PlasmaScreenBrightness:
            return {"org.kde.ScreenBrightness", "/org/kde/ScreenBrightness",
                    "plasma_screen_brightness.py"};
        case DesktopService::Kind::PlasmaPowerManagement:
            return {"org.kde.Solid.PowerManagement",
                    "/org/kde/Solid/PowerManagement/Actions/BrightnessControl",
                    "plasma_power_management.py"};
        case DesktopService::Kind::MutterDisplayConfig:
            return {"org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                    "mutter_display_config.py"};
        case DesktopService::Kind::GnomeSettingsDaemon:
            return {"org.gnome.SettingsDaemon.Power", "/org/gnome/SettingsDaemon/Power",
                    "gnome_settings_power.py"};
        case DesktopService::Kind::MutterIdleMonitor:
            return {"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                    "mutter_idle_monitor.py"};
        case DesktopService::Kind::Misbehaving:
            return {"", "", "misbehaving_service.py"};
    }
    throw std::logic_error("unknown desktop service");
}

std::string json(const std::map<std::string, std::string>& parameters) {
    std::string out = "{";
    for (const auto& [key, value] : parameters) {
        if (out.size() > 1)
            out += ", ";
        const bool bare =
            value == "true" || value == "false" ||
            (!value.empty() && value.find_first_not_of("0123456789.-") == std::string::npos);
        out += "\"" + key + "\": " + (bare ? value : "\"" + value + "\"");
    }
    return out + "}";
}

void collect(GVariant* value, DesktopService::Call& call) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_VARIANT)) {
        GVariant* inner = g_variant_get_variant(value);
        collect(inner, call);
        g_variant_unref(inner);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        call.strings.push_back(g_variant_get_string(value, nullptr));
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) {
        call.numbers.push_back(g_variant_get_double(value));
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)) {
        call.numbers.push_back(g_variant_get_int32(value));
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) {
        call.numbers.push_back(g_variant_get_uint32(value));
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT64)) {
        call.numbers.push_back(static_cast<double>(g_variant_get_int64(value)));
    } else if (g_variant_is_container(value)) {
        GVariantIter iter;
        g_variant_iter_init(&iter, value);
        while (GVariant* child = g_variant_iter_next_value(&iter)) {
            collect(child, call);
            g_variant_unref(child);
        }
    }
}

}  // namespace

bool DesktopService::available(std::string* why) {
    if (access(kPython, X_OK) != 0) {
        *why = std::string(kPython) + " is missing";
        return false;
    }
    std::string err;
    if (ChildProcess::run({kPython, "-c", "import dbusmock"}, {}, &err, 20.0) != 0) {
        *why = "python3-dbusmock is not installed: " + err;
        return false;
    }
    return true;
}

DesktopService::DesktopService(Kind kind, std::map<std::string, std::string> parameters)
    : kind_(kind), parameters_(std::move(parameters)) {
    const Fake fake = fakeFor(kind);
    name_ = kind == Kind::Misbehaving ? parameters_.at("name") : fake.name;
    path_ = kind == Kind::Misbehaving ? parameters_.at("path") : fake.path;
    GError* error = nullptr;
    const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    bus_ =
        address
            ? g_dbus_connection_new_for_address_sync(
                  address,
                  static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                  nullptr, nullptr, &error)
            : nullptr;
    g_clear_error(&error);
    if (!bus_)
        throw std::runtime_error("no private session bus for " + name_);
    g_dbus_connection_set_exit_on_close(bus_, FALSE);
    start();
}

DesktopService::~DesktopService() {
    stop();
    if (bus_) {
        g_dbus_connection_close_sync(bus_, nullptr, nullptr);
        g_object_unref(bus_);
    }
}

void DesktopService::start() {
    if (process_)
        return;
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kPython, "-m", "dbusmock", "--session", "--template",
                                 kFakes + fakeFor(kind_).file, "-p", json(parameters_)},
        // A template names its service before it is given its parameters.
        std::map<std::string, std::optional<std::string>>{{"PYTHONDONTWRITEBYTECODE", "1"},
                                                          {"MISBEHAVING_NAME", name_},
                                                          {"MISBEHAVING_PATH", path_}});
    const bool owned = waitFor(
        [&] {
            GVariant* reply = g_dbus_connection_call_sync(
                bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "NameHasOwner", g_variant_new("(s)", name_.c_str()), G_VARIANT_TYPE("(b)"),
                G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
            gboolean has = FALSE;
            if (reply) {
                g_variant_get(reply, "(b)", &has);
                g_variant_unref(reply);
            }
            return has || !process_->running();
        },
        20.0);
    if (!owned || !process_->running())
        throw std::runtime_error(name_ + " did not start: " + process_->standardError());
}

void DesktopService::freeze(bool frozen) {
    if (process_)
        process_->signal(frozen ? SIGSTOP : SIGCONT);
}

void DesktopService::stop() {
    if (!process_)
        return;
    process_->signal(SIGCONT);
    process_->signal(SIGTERM);
    process_->wait(10.0);
    process_.reset();
}

std::vector<DesktopService::Call> DesktopService::calls(const std::string& method,
                                                        const std::string& path) const {
    std::vector<Call> out;
    GVariant* reply = g_dbus_connection_call_sync(
        bus_, name_.c_str(), (path.empty() ? path_ : path).c_str(), "org.freedesktop.DBus.Mock",
        "GetMethodCalls", g_variant_new("(s)", method.c_str()), G_VARIANT_TYPE("(a(tav))"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (!reply)
        return out;
    GVariant* list = g_variant_get_child_value(reply, 0);
    GVariantIter iter;
    g_variant_iter_init(&iter, list);
    while (GVariant* entry = g_variant_iter_next_value(&iter)) {
        GVariant* args = g_variant_get_child_value(entry, 1);
        Call call;
        collect(args, call);
        out.push_back(std::move(call));
        g_variant_unref(args);
        g_variant_unref(entry);
    }
    g_variant_unref(list);
    g_variant_unref(reply);
    return out;
}

bool DesktopService::call(const std::string& interface, const std::string& method, GVariant* args,
                          const std::string& path) const {
    GVariant* reply = g_dbus_connection_call_sync(
        bus_, name_.c_str(), (path.empty() ? path_ : path).c_str(), interface.c_str(),
        method.c_str(), args, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (!reply)
        return false;
    g_variant_unref(reply);
    return true;
}

}  // namespace testing_support
