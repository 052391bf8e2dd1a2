// The built-in panel through each desktop's brightness service, against a
// service of our own that answers at once (on a thread of this process, over
// a private session bus), with the backlight file in the same run as the
// baseline. Argument "route": 0 none (the file), 1 Plasma's ScreenBrightness,
// 2 Plasma's older PowerManagement, 3 mutter, 4 gnome-settings-daemon.
//
// - BM_Fade: the engine's one-second fade of 100 steps; "ratio" is its wall
//   time over the ideal 1.000 s, "calls_per_step" the calls the service got
//   for it over 100.
// - BM_FadePair: a fade through the route and one through the file, in turn,
//   eight times: "vs_file" is the median of the pairs' time ratios (drift in
//   the machine's load falls out of it); route 0, the file against itself,
//   shows what is left of the noise.
// - BM_Write: one DisplayServicesSetBrightness as the caller's thread sees
//   it (the file written, or the value handed to the desktop's thread).
// - BM_Call: one value handed, then waited for until the service has it, a
//   hundred times: the time per call from the caller's write to the
//   service's answer, through the desktop's thread and the bus daemon.
//
//   build/bin/desktop_route_bench --benchmark_repetitions=5
//                                 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <optional>
#include <thread>

#include "engine/BrightnessController.h"
#include "linux/bus/PrivateBusConnection.h"
#include "linux/desktop/BuiltinBrightnessWay.h"
#include "linux/foundation/MainContextPost.h"
#include "machine/DisplayBackend.h"
#include "support/LaptopOnLinux.h"
#include "support/MainContext.h"

using namespace testing_support;
using platform::BuiltinBrightnessWay;
using platform::linux_machine::openPrivateBusConnection;
using platform::linux_machine::postToContext;

namespace {

constexpr long kMax = 19200;

struct Service {
    const char* name;
    const char* path;
    const char* xml;  // the members the route relies on
    const char* write;
    BuiltinBrightnessWay way;
};

// Trimmed from the desktops' own interface descriptions (see the routes).
const Service kServices[] = {
    {"org.kde.ScreenBrightness", "/org/kde/ScreenBrightness/display0",
     "<node><interface name='org.kde.ScreenBrightness.Display'>"
     "<property name='IsInternal' type='b' access='read'/>"
     "<property name='MaxBrightness' type='i' access='read'/>"
     "<method name='SetBrightnessWithContext'><arg type='i' direction='in'/>"
     "<arg type='u' direction='in'/><arg type='s' direction='in'/></method>"
     "</interface></node>",
     "SetBrightnessWithContext", BuiltinBrightnessWay::PlasmaScreenBrightness},
    {"org.kde.Solid.PowerManagement", "/org/kde/Solid/PowerManagement/Actions/BrightnessControl",
     "<node><interface name='org.kde.Solid.PowerManagement.Actions.BrightnessControl'>"
     "<method name='setBrightnessSilent'><arg type='i' direction='in'/></method>"
     "<method name='brightnessMax'><arg type='i' direction='out'/></method>"
     "</interface></node>",
     "setBrightnessSilent", BuiltinBrightnessWay::PlasmaPowerManagement},
    {"org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
     "<node><interface name='org.gnome.Mutter.DisplayConfig'>"
     "<method name='SetBacklight'><arg type='u' direction='in'/><arg type='s' direction='in'/>"
     "<arg type='i' direction='in'/></method>"
     "<property name='Backlight' type='(uaa{sv})' access='read'/>"
     "</interface></node>",
     "SetBacklight", BuiltinBrightnessWay::MutterDisplayConfig},
    {"org.gnome.SettingsDaemon.Power", "/org/gnome/SettingsDaemon/Power",
     "<node><interface name='org.gnome.SettingsDaemon.Power.Screen'>"
     "<property name='Brightness' type='i' access='readwrite'/>"
     "</interface></node>",
     "Brightness", BuiltinBrightnessWay::GnomeSettingsDaemon},
};

// A desktop's brightness service that answers every call at once and counts
// the writes; Plasma's also lists its one (internal) display.
class InstantService {
  public:
    explicit InstantService(const Service& service) : service_(service) {
        thread_ = std::thread([this] { serve(); });
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return started_; });
    }
    ~InstantService() {
        postToContext(context_, [loop = loop_] { g_main_loop_quit(loop); });
        thread_.join();
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }
    long writes() const { return writes_; }
    // Waits until the service has had more than `count` writes.
    bool waitBeyond(long count) {
        std::unique_lock lock(mutex_);
        return written_.wait_for(lock, std::chrono::seconds(5), [&] { return writes_ > count; });
    }

  private:
    static void method(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* name, GVariant*, GDBusMethodInvocation* invocation,
                       gpointer data) {
        auto* self = static_cast<InstantService*>(data);
        if (g_strcmp0(name, self->service_.write) == 0)
            self->wrote();
        if (g_strcmp0(name, "brightnessMax") == 0) {
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(i)", int(kMax)));
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }
    static GVariant* property(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                              const gchar* name, GError**, gpointer) {
        if (g_strcmp0(name, "DisplaysDBusNames") == 0) {
            const gchar* names[] = {"display0", nullptr};
            return g_variant_new_strv(names, -1);
        }
        if (g_strcmp0(name, "MaxBrightness") == 0)
            return g_variant_new_int32(kMax);
        if (g_strcmp0(name, "Brightness") == 0)
            return g_variant_new_int32(50);
        if (g_strcmp0(name, "Backlight") == 0) {
            return g_variant_new_parsed(
                "(uint32 1, [{'connector': <'eDP-1'>, 'active': <true>, 'min': <192>, "
                "'max': <%i>, 'value': <100>}])",
                int(kMax));
        }
        return g_variant_new_boolean(TRUE);  // IsInternal
    }
    static gboolean setProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                const gchar*, GVariant*, GError**, gpointer data) {
        static_cast<InstantService*>(data)->wrote();
        return TRUE;
    }

    void wrote() {
        {
            std::lock_guard lock(mutex_);
            ++writes_;
        }
        written_.notify_all();
    }

    void registerObject(GDBusConnection* bus, const char* path, const char* xml) {
        GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(xml, nullptr);
        static const GDBusInterfaceVTable vtable = {method, property, setProperty, {}};
        g_dbus_connection_register_object(bus, path, info->interfaces[0], &vtable, this, nullptr,
                                          nullptr);
        g_dbus_node_info_unref(info);
    }

    void serve() {
        context_ = g_main_context_new();
        g_main_context_push_thread_default(context_);
        loop_ = g_main_loop_new(context_, FALSE);
        GDBusConnection* bus = openPrivateBusConnection(G_BUS_TYPE_SESSION);
        registerObject(bus, service_.path, service_.xml);
        if (service_.way == BuiltinBrightnessWay::PlasmaScreenBrightness) {
            registerObject(bus, "/org/kde/ScreenBrightness",
                           "<node><interface name='org.kde.ScreenBrightness'>"
                           "<property name='DisplaysDBusNames' type='as' access='read'/>"
                           "</interface></node>");
        }
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", service_.name, 4u), nullptr,
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        if (reply)
            g_variant_unref(reply);
        {
            std::lock_guard lock(mutex_);
            started_ = true;
        }
        ready_.notify_all();
        g_main_loop_run(loop_);
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
        g_main_context_pop_thread_default(context_);
    }

    const Service& service_;
    std::atomic<long> writes_{0};
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable written_;
    bool started_ = false;
};

// A folder on tmpfs when there is one: like sysfs, it writes no blocks.
struct InMemoryTmpdir {
    ScopedEnv tmpdir{"TMPDIR", access("/dev/shm", W_OK) == 0
                                   ? std::optional<std::string>("/dev/shm")
                                   : std::nullopt};
};

struct Laptop : InMemoryTmpdir, LaptopOnLinux {
    BrightnessController* engine = nullptr;
    CGDirectDisplayID panel = 0;
    std::unique_ptr<InstantService> service;
    int route = -1;

    Laptop() {
        laptop.addConnectorBacklight("intel_backlight", laptop.addBuiltinPanel(), kMax, kMax / 2);
        engine = BrightnessController::sharedInstance();
        std::vector<CGDirectDisplayID> list;
        machine.displays().activeDisplays(list);
        panel = list.at(0);
        float ignored = 0;
        machine.displays().displayServicesGetBrightness(panel, &ignored);  // starts looking
    }

    // Only `route`'s service on the bus, and in use; false when it is not.
    bool use(int wanted) {
        if (wanted != route) {
            service.reset();
            if (wanted > 0)
                service = std::make_unique<InstantService>(kServices[wanted - 1]);
            route = wanted;
        }
        const auto way =
            wanted > 0 ? kServices[wanted - 1].way : BuiltinBrightnessWay::BacklightFile;
        return turnMainContextUntil(
            [&] { return machine.displays().builtinBrightnessRoute().way == way; }, 10.0);
    }
    long writes() const { return service ? service->writes() : 0; }
};

Laptop& laptop() {
    static Laptop l;
    return l;
}

bool ready(benchmark::State& state) {
    if (laptop().use(static_cast<int>(state.range(0))))
        return true;
    state.SkipWithError("the service was not taken into use");
    return false;
}

void BM_Fade(benchmark::State& state) {
    if (!ready(state))
        return;
    auto& l = laptop();
    double seconds = 0.0;
    long calls = 0;
    for (auto _ : state) {
        // Away from where the panel reads now: a fade of 100 steps every time.
        const double target = l.engine->getBrightness(l.panel) < 0.5 ? 0.8 : 0.2;
        const long before = l.writes();
        auto start = std::chrono::steady_clock::now();
        l.engine->setBrightnessForInternalDisplay(target, 0.5, true);
        const double taken =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(taken);
        seconds += taken;
        usleep(50000);  // the desktop's thread catches up
        calls += l.writes() - before;
    }
    state.counters["ratio"] = benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
    state.counters["calls_per_step"] =
        benchmark::Counter(calls / 100.0, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Fade)->ArgName("route")->DenseRange(0, 4)->UseManualTime()->Iterations(4)->Unit(
    benchmark::kMillisecond);

// One fade away from where the panel reads now, in seconds.
double fade() {
    auto& l = laptop();
    const double target = l.engine->getBrightness(l.panel) < 0.5 ? 0.8 : 0.2;
    auto start = std::chrono::steady_clock::now();
    l.engine->setBrightnessForInternalDisplay(target, 0.5, true);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_FadePair(benchmark::State& state) {
    const int route = static_cast<int>(state.range(0));
    std::vector<double> ratios;
    for (auto _ : state) {
        if (!laptop().use(route)) {
            state.SkipWithError("the service was not taken into use");
            return;
        }
        const double through = fade();
        usleep(50000);
        laptop().use(0);
        const double file = fade();
        state.SetIterationTime(through);
        ratios.push_back(through / file);
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["vs_file"] = ratios[ratios.size() / 2];
}
BENCHMARK(BM_FadePair)
    ->ArgName("route")
    ->DenseRange(0, 4)
    ->UseManualTime()
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond);

void BM_Write(benchmark::State& state) {
    if (!ready(state))
        return;
    auto& l = laptop();
    float value = 0.3f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(l.machine.displays().displayServicesSetBrightness(l.panel, value));
        value = value > 0.6f ? 0.3f : value + 0.003f;
    }
    usleep(50000);
}
BENCHMARK(BM_Write)->ArgName("route")->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

void BM_Call(benchmark::State& state) {
    if (!ready(state))
        return;
    auto& l = laptop();
    float value = 0.3f;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 100; ++i) {
            const long before = l.writes();
            l.machine.displays().displayServicesSetBrightness(l.panel, value);
            if (!l.service->waitBeyond(before)) {
                state.SkipWithError("the service was not called");
                return;
            }
            value = value > 0.6f ? 0.3f : value + 0.003f;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
            100.0);
    }
}
BENCHMARK(BM_Call)->ArgName("route")->DenseRange(1, 4)->Iterations(10)->UseManualTime()->Unit(
    benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
