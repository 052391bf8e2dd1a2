#include "real_parts/RealGsdPower.h"

#include <gio/gio.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "real_parts/RealSensorProxy.h"
#include "support/Waiting.h"

namespace testing_support {
namespace {

const char* const kPython = "/usr/bin/python3";
const char* const kUmockdevRun = "/usr/bin/umockdev-run";
const char* const kPlugin = "/usr/libexec/gsd-power";
const char* const kPluginName = "org.gnome.SettingsDaemon.Power";
const char* const kScreen = "org.gnome.SettingsDaemon.Power.Screen";
const std::string kFakes = DUOLUME_SOURCE_DIR "/tests/support/desktop-fakes/";
const std::string kPanel = "/sys/devices/pci0000:00/0000:00:02.0/drm/card0/card0-eDP-1";
const std::string kSensor = "/sys/devices/platform/ACPI0008:00/iio:device0";

// As the kernel lays out an Intel laptop's panel: its backlight below its
// connector (i915 registers it there), and an ACPI light sensor on IIO.
std::string records(long max, long value) {
    return "P: /devices/pci0000:00/0000:00:02.0\nE: DRIVER=i915\nE: SUBSYSTEM=pci\n"
           "A: class=0x030000\nA: vendor=0x8086\nA: device=0x9a49\n\n"
           "P: /devices/pci0000:00/0000:00:02.0/drm/card0\nN: dri/card0\n"
           "E: DEVTYPE=drm_minor\nE: SUBSYSTEM=drm\nL: device=../../../0000:00:02.0\n\n"
           "P: " +
           kPanel.substr(4) +
           "\nE: DEVTYPE=drm_connector\nE: SUBSYSTEM=drm\nA: status=connected\n"
           "A: enabled=enabled\nA: dpms=On\nL: device=../../card0\n\n"
           "P: " +
           kPanel.substr(4) +
           "/intel_backlight\nE: SUBSYSTEM=backlight\nA: brightness=" + std::to_string(value) +
           "\nA: actual_brightness=" + std::to_string(value) +
           "\nA: max_brightness=" + std::to_string(max) +
           "\nA: type=raw\nA: bl_power=0\nL: device=../../card0-eDP-1\n\n"
           "P: " +
           kSensor.substr(4) +
           "\nE: DEVTYPE=iio_device\nE: SUBSYSTEM=iio\nA: name=als\n"
           "A: in_illuminance_input=100.000000\nA: in_illuminance_scale=1.000000\n";
}

// Inside the test bed: tells where it is, then runs the plug-in, and runs it
// again each time a "start" file appears after it ended.
const char* const kBedScript =
    "echo $$ > \"$1/shell\"\n"
    "printf %s \"$UMOCKDEV_DIR\" > \"$1/root.new\" && mv \"$1/root.new\" \"$1/root\"\n"
    "while :; do\n"
    "  rm -f \"$1/start\"\n"
    "  \"$2\" >> \"$1/plugin.log\" 2>&1 &\n"
    "  echo $! > \"$1/plugin\"\n"
    "  wait $!\n"
    "  while [ ! -e \"$1/start\" ]; do sleep 0.05; done\n"
    "done\n";

// gsd-backlight-helper's arguments: the device's sysfs folder, the value.
const char* const kHelperScript = "#!/bin/sh\necho \"$2\" > \"$1/brightness\"\n";

GDBusConnection* sessionBus() {
    return g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
}

bool hasOwner(GBusType type, const char* name) {
    return busNameHasOwner(type == G_BUS_TYPE_SYSTEM ? Bus::System : Bus::Session, name);
}

void killPid(const std::string& file, int sig) {
    const int pid = std::atoi(readFile(file).c_str());
    if (pid > 0)
        ::kill(pid, sig);
}

}  // namespace

std::string RealGsdPower::whyNotRunnable() {
    if (::access(kPlugin, X_OK) != 0)
        return std::string(kPlugin) + " is not installed (Debian package gnome-settings-daemon)";
    for (const char* program : {"/usr/bin/Xvfb", "/usr/bin/mutter"}) {
        if (::access(program, X_OK) != 0)
            return std::string(program) + " is not installed (Debian packages xvfb, mutter)";
    }
    return whyNoTestBedTools("the stand-ins of logind, upower and gnome-session");
}

RealGsdPower::RealGsdPower(long max, long value) : max_(max), value_(value) {}

RealGsdPower::~RealGsdPower() {
    if (bed_) {
        // The plug-in and the shell first: umockdev-run waits for its child.
        killPid(dir_ / "shell", SIGKILL);
        killPid(dir_ / "plugin", SIGTERM);
        if (!bed_->wait(5.0))
            bed_->signal(SIGKILL);
    }
}

bool RealGsdPower::start(std::string* why) {
    const std::string runtime = dir_ / "runtime";
    ::mkdir(runtime.c_str(), 0700);
    const std::map<std::string, std::optional<std::string>> quiet = {
        {"PYTHONDONTWRITEBYTECODE", "1"}};
    logind_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kPython, "-m", "dbusmock", "--template", "logind", "--system"},
        quiet);
    const std::string upowerProperties =
        R"({"DaemonVersion": "0.99", "OnBattery": false, "LidIsClosed": false})";
    upower_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kPython, "-m", "dbusmock", "--template", "upower", "--system",
                                 "-p", upowerProperties},
        quiet);
    session_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kPython, "-m", "dbusmock", "--session", "--template",
                                 kFakes + "gnome_session_manager.py"},
        quiet);
    screensaver_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kPython, "-m", "dbusmock", "--session", "--template",
                                 "gnome_screensaver"},
        quiet);
    xvfb_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
    if (!waitFor([&] { return !xvfb_->standardOutput().empty() || !xvfb_->running(); }, 10.0) ||
        !xvfb_->running()) {
        *why = "Xvfb did not start: " + xvfb_->standardError();
        return false;
    }
    display_ = ":" + xvfb_->standardOutput().substr(0, xvfb_->standardOutput().find('\n'));
    const std::map<std::string, std::optional<std::string>> desktop = {
        {"DISPLAY", display_},           {"XDG_RUNTIME_DIR", runtime},
        {"GSETTINGS_BACKEND", "memory"}, {"XDG_SESSION_TYPE", "x11"},
        {"NO_AT_BRIDGE", "1"},           {"WAYLAND_DISPLAY", std::nullopt}};
    mutter_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/mutter", "--x11", "--replace"}, desktop);
    if (!waitFor(
            [] {
                return hasOwner(G_BUS_TYPE_SESSION, "org.gnome.Mutter.DisplayConfig") &&
                       hasOwner(G_BUS_TYPE_SESSION, "org.gnome.SessionManager") &&
                       hasOwner(G_BUS_TYPE_SESSION, "org.gnome.ScreenSaver") &&
                       hasOwner(G_BUS_TYPE_SYSTEM, "org.freedesktop.login1") &&
                       hasOwner(G_BUS_TYPE_SYSTEM, "org.freedesktop.UPower");
            },
            20.0)) {
        *why = "mutter or the stand-ins did not come up: " + mutter_->standardError() +
               session_->standardError() + logind_->standardError();
        return false;
    }
    writeFile(dir_ / "records.umockdev", records(max_, value_));
    writeFile(dir_ / "bed.sh", kBedScript);
    writeFile(dir_ / "helper", kHelperScript);
    ::chmod((dir_ / "helper").c_str(), 0755);
    auto plugin = desktop;
    plugin["GSD_BACKLIGHT_HELPER"] = dir_ / "helper";
    plugin["G_MESSAGES_DEBUG"] = "power-plugin";
    bed_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kUmockdevRun, "--device", dir_ / "records.umockdev", "--",
                                 "/bin/sh", dir_ / "bed.sh", dir_.path(), kPlugin},
        plugin);
    if (!waitFor([&] { return fileExists(dir_ / "root") || !bed_->running(); }, 10.0) ||
        !bed_->running()) {
        *why = "the umockdev test bed did not come up: " + bed_->standardError();
        return false;
    }
    root_ = readFile(dir_ / "root");
    return waitForPlugin(why);
}

bool RealGsdPower::waitForPlugin(std::string* why) {
    if (waitFor([&] { return brightness().has_value(); }, 20.0))
        return true;
    *why = "gsd-power does not answer its Brightness: " + log();
    return false;
}

void RealGsdPower::stopPlugin() {
    killPid(dir_ / "plugin", SIGTERM);
    waitFor([] { return !hasOwner(G_BUS_TYPE_SESSION, kPluginName); }, 10.0);
}

bool RealGsdPower::startPlugin(std::string* why) {
    writeFile(dir_ / "start", "");
    return waitForPlugin(why);
}

long RealGsdPower::backlight() const {
    return std::atol(readFile(root_ + kPanel + "/intel_backlight/brightness").c_str());
}

void RealGsdPower::setLux(double lux) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f\n", lux);
    writeFile(root_ + kSensor + "/in_illuminance_input", text);
}

std::optional<int> RealGsdPower::brightness() const {
    GDBusConnection* bus = sessionBus();
    if (!bus)
        return std::nullopt;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kPluginName, "/org/gnome/SettingsDaemon/Power", "org.freedesktop.DBus.Properties",
        "Get", g_variant_new("(ss)", kScreen, "Brightness"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, 1000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply)
        return std::nullopt;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::optional<int> percent;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32))
        percent = g_variant_get_int32(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return percent;
}

bool RealGsdPower::stepUp() const {
    GDBusConnection* bus = sessionBus();
    if (!bus)
        return false;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kPluginName, "/org/gnome/SettingsDaemon/Power", kScreen, "StepUp", nullptr, nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, nullptr);
    g_object_unref(bus);
    if (reply)
        g_variant_unref(reply);
    return reply != nullptr;
}

std::string RealGsdPower::log() const {
    return readFile(dir_ / "plugin.log") + (bed_ ? bed_->standardError() : "");
}

}  // namespace testing_support
