#include "real_parts/RealSensorProxy.h"

#include <gio/gio.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace testing_support {
namespace {

const char* const kUmockdevRun = "/usr/bin/umockdev-run";

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// The device records as umockdev reads them. IIO_SENSOR_PROXY_TYPE is what
// the daemon's own udev rule (80-iio-sensor-proxy.rules) sets; umockdev runs
// no rules.
std::string deviceRecord(RealSensorProxy::Sensor sensor, double lux, const std::string& iio) {
    if (sensor == RealSensorProxy::Sensor::AppleSMC)
        return "P: /devices/platform/applesmc.768\n"
               "E: SUBSYSTEM=platform\n"
               "E: MODALIAS=platform:applesmc\n"
               "E: IIO_SENSOR_PROXY_TYPE=hwmon-als\n"
               "A: light=(10,12)\n";
    return "P: " + iio.substr(4) + "\n" + "N: " + iio.substr(iio.rfind('/') + 1) +
           "\n"
           "E: SUBSYSTEM=iio\n"
           "E: DEVTYPE=iio_device\n"
           "E: IIO_SENSOR_PROXY_TYPE=iio-poll-als\n"
           "A: name=acpi-als\n"
           "A: in_illuminance_input=" +
           number(lux) +
           "\n"
           "A: in_illuminance_scale=1.000000\n";
}

bool ownsBusName(const char* name = "net.hadess.SensorProxy") {
    return busNameHasOwner(Bus::System, name);
}

// The daemon, where its own systemd unit starts it from: iio-sensor-proxy
// 3.0 (Debian 12) installs it as /usr/sbin/iio-sensor-proxy, 3.7 (Debian 13)
// as /usr/libexec/iio-sensor-proxy. Empty when no unit names it.
std::string daemonProgram() {
    for (const char* unit : {"/usr/lib/systemd/system/iio-sensor-proxy.service",
                             "/lib/systemd/system/iio-sensor-proxy.service"}) {
        std::ifstream in(unit);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("ExecStart=", 0) == 0)
                return line.substr(10, line.find_first_of(" \t", 10) - 10);
        }
    }
    return {};
}

const char* const kPython = "/usr/bin/python3";
const char* const kPolkitName = "org.freedesktop.PolicyKit1";
// The action iio-sensor-proxy's policy (net.hadess.SensorProxy.policy)
// allows the active local session ("allow_active yes"), and no other.
const char* const kClaimAction = "net.hadess.SensorProxy.claim-sensor";

// Tells the polkit stand-in to allow the claim, as polkitd does for the
// user at the screen.
bool allowClaim() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    g_clear_error(&error);
    if (!bus)
        return false;
    const gchar* actions[] = {kClaimAction, nullptr};
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kPolkitName, "/org/freedesktop/PolicyKit1/Authority", "org.freedesktop.DBus.Mock",
        "SetAllowed", g_variant_new("(^as)", actions), nullptr, G_DBUS_CALL_FLAGS_NONE, 2000,
        nullptr, nullptr);
    g_object_unref(bus);
    if (reply)
        g_variant_unref(reply);
    return reply != nullptr;
}

}  // namespace

std::string RealSensorProxy::whyNotRunnable() {
    const std::string daemon = daemonProgram();
    if (daemon.empty())
        return "iio-sensor-proxy is not installed (Debian package iio-sensor-proxy; no "
               "iio-sensor-proxy.service names its program)";
    if (::access(daemon.c_str(), X_OK) != 0)
        return daemon + ", which iio-sensor-proxy.service starts, is not there";
    return whyNoTestBedTools("the polkit stand-in");
}

bool busNameHasOwner(Bus which, const char* name) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(
        which == Bus::System ? G_BUS_TYPE_SYSTEM : G_BUS_TYPE_SESSION, nullptr, &error);
    g_clear_error(&error);
    if (!bus)
        return false;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        1000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned;
}

std::string whyNoTestBedTools(const std::string& what) {
    if (::access(kUmockdevRun, X_OK) != 0)
        return std::string(kUmockdevRun) + " is not installed (Debian package umockdev)";
    if (ChildProcess::run({kPython, "-c", "import dbusmock"}, {}, nullptr) != 0)
        return "python3-dbusmock is not installed (" + what + ")";
    return {};
}

RealSensorProxy::RealSensorProxy(Sensor sensor, double lux, int device)
    : sensor_(sensor),
      lux_(lux),
      iioDevice_("/sys/devices/platform/acpi-als/iio:device" + std::to_string(device)) {}

RealSensorProxy::~RealSensorProxy() {
    stop();
}

bool RealSensorProxy::start(std::string* why) {
    stop();
    if (!polkit_) {
        polkit_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            kPython, "-m", "dbusmock", "--template", "polkitd", "--system"});
        bool up = false;
        for (int i = 0; i < 500 && polkit_->running() && !up; ++i) {
            up = ownsBusName(kPolkitName);
            if (!up)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!up || !allowClaim()) {
            *why = "the polkit stand-in did not come up: " + polkit_->standardError();
            polkit_.reset();
            return false;
        }
    }
    std::string record = dir_ / "sensor.umockdev";
    std::string bedFile = dir_ / "test-bed";
    ::unlink(bedFile.c_str());
    writeFile(record, deviceRecord(sensor_, lux_, iioDevice_));
    // The shell only tells us where umockdev put the test bed, then becomes the daemon.
    daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        kUmockdevRun, "--device", record, "--", "/bin/sh", "-c",
        "echo $$ > '" + bedFile + ".pid' && printf %s \"$UMOCKDEV_DIR\" > '" + bedFile +
            "' && exec " + daemonProgram()});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end && daemon_->running()) {
        if (fileExists(bedFile) && ownsBusName()) {
            testBed_ = readFile(bedFile);
            daemonPid_ = std::atoi(readFile(bedFile + ".pid").c_str());
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *why = "iio-sensor-proxy did not come up under umockdev: " + daemon_->standardError();
    stop();
    return false;
}

void RealSensorProxy::stop() {
    if (!daemon_)
        return;
    // umockdev-run ends when its child, the daemon, does.
    if (daemonPid_ > 0)
        ::kill(daemonPid_, SIGTERM);
    daemonPid_ = 0;
    if (!daemon_->wait(5.0))
        daemon_->signal(SIGKILL);
    daemon_.reset();
    // The bus drops the name when the daemon's connection closes.
    for (int i = 0; i < 200 && ownsBusName(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void RealSensorProxy::setLux(double lux) {
    lux_ = lux;
    if (!testBed_.empty())
        writeFile(testBed_ + iioDevice_ + "/in_illuminance_input", number(lux) + "\n");
}

void RealSensorProxy::signal(int number) {
    if (daemonPid_ > 0)
        ::kill(daemonPid_, number);
}

struct SensorProxyCalls::State {
    GDBusConnection* bus = nullptr;
    guint filter = 0;
    mutable std::mutex mutex;
    std::map<std::string, int> calls;
};

SensorProxyCalls::SensorProxyCalls() : state_(std::make_unique<State>()) {
    state_->bus = g_dbus_connection_new_for_address_sync(
        std::getenv("DBUS_SYSTEM_BUS_ADDRESS"),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!state_->bus)
        return;
    // Filters run on GDBus's own thread, for every message this connection receives.
    state_->filter = g_dbus_connection_add_filter(
        state_->bus,
        [](GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data) {
            auto* state = static_cast<State*>(data);
            if (incoming &&
                g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL &&
                g_strcmp0(g_dbus_message_get_interface(message), "net.hadess.SensorProxy") == 0) {
                std::lock_guard lock(state->mutex);
                ++state->calls[g_dbus_message_get_member(message)];
                // Only overheard: not handled here, so not answered from here either.
                g_object_unref(message);
                return static_cast<GDBusMessage*>(nullptr);
            }
            return message;
        },
        state_.get(), nullptr);
    GVariant* reply = g_dbus_connection_call_sync(
        state_->bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "AddMatch",
        g_variant_new("(s)",
                      "eavesdrop=true,type='method_call',interface='net.hadess.SensorProxy'"),
        nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply)
        g_variant_unref(reply);
}

SensorProxyCalls::~SensorProxyCalls() {
    if (!state_->bus)
        return;
    g_dbus_connection_remove_filter(state_->bus, state_->filter);
    g_dbus_connection_close_sync(state_->bus, nullptr, nullptr);
    g_object_unref(state_->bus);
}

int SensorProxyCalls::count(const std::string& method) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->calls.find(method);
    return it == state_->calls.end() ? 0 : it->second;
}

}  // namespace testing_support
