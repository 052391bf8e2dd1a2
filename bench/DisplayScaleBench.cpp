// How a built-in display write scales with the number of backlight devices,
// on the Linux machine over a virtual laptop (sysfs-shaped files on tmpfs).
// Nothing is cached there: the display connection services are walked afresh
// at every look-up, each compared by the identity of its connector's EDID.
//
// The laptop has its eDP panel with intel_backlight, plus N - 1 external
// DisplayPort outputs, each with a raw backlight of its own (as the ddcci
// driver registers them for external monitors) whose names sort before the
// panel's, so a walk meets them first.
//
//   BM_ServiceRouteWrite/backlights:N  the display connection service route:
//       the service look-up for the panel, then its "brightness" parameter
//   BM_BuiltinWrite/backlights:N       the engine's write of the built-in
//       display (presence tests, then DisplayServices over sysfs)
//
//   build/bin/display_scale_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CoreGraphics/CGDirectDisplay.h"
#include "IOKit/IOGraphicsLib.h"
#include "MemoryFolder.h"
#include "SharedRig.h"
#include "engine/BrightnessController.h"
#include "linux/LinuxMachine.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

using namespace testing_support;

namespace {

class QuietLinuxMachine : public platform::linux_machine::LinuxMachine {
  public:
    void writeLog(const std::string&) override {}
};

// One laptop for the process (the machine reads its root once); backlights
// are added as the benchmarks ask for more.
struct Laptop {
    ScopedEnv tmpdir{"TMPDIR", bench_support::memoryFolder()};
    TempDir root;
    ScopedEnv sysroot{"PLATFORM_SYSROOT", root.path()};
    ScopedEnv noSystemBus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root / "no-system-bus")};
    VirtualLaptop laptop{root.path()};
    int backlights = 0;
    CGDirectDisplayID panel = 0;
    BrightnessController* engine = nullptr;

    Laptop() {
        const std::string builtin = laptop.addBuiltinPanel();
        laptop.addConnectorBacklight("intel_backlight", builtin, 19200, 9600);
        backlights = 1;
        platform::Machine::install(std::make_unique<QuietLinuxMachine>());
        CGDirectDisplayID active[4];
        CGDisplayCount count = 0;
        CGGetActiveDisplayList(4, active, &count);
        for (CGDisplayCount i = 0; i < count; ++i)
            if (CGDisplayIsBuiltin(active[i]))
                panel = active[i];
        engine = BrightnessController::sharedInstance();
    }

    void growTo(int wanted) {
        for (; backlights < wanted; ++backlights) {
            VirtualLaptop::Connector dp;
            dp.card = 1;
            dp.name = "DP-" + std::to_string(backlights);
            dp.connected = false;  // outputs without a monitor are not active displays
            dp.enabled = false;
            dp.edid =
                VirtualLaptop::makeEdid("DEL", static_cast<std::uint16_t>(0x4000 + backlights),
                                        static_cast<std::uint32_t>(backlights));
            dp.connectorId = 100 + backlights;
            const std::string output = laptop.addConnector(dp);
            char name[32];
            std::snprintf(name, sizeof name, "ddcci%02d", backlights);
            laptop.addConnectorBacklight(name, output, 100, 50);
        }
    }

    bool ready(benchmark::State& state) {
        growTo(static_cast<int>(state.range(0)));
        if (backlights != state.range(0)) {
            state.SkipWithError("the laptop already has more backlights (it only grows)");
            return false;
        }
        if (panel && engine)
            return true;
        state.SkipWithError("the virtual laptop's panel is not an active built-in display");
        return false;
    }
};

// Made at the first benchmark, removed by main(); the engine stays to the end.
Laptop& laptop() {
    return sharedRig<Laptop>();
}

void BM_ServiceRouteWrite(benchmark::State& state) {
    auto& l = laptop();
    if (!l.ready(state))
        return;
    float value = 0.3f;
    if (IODisplaySetFloatParameter(l.engine->IOServicePortFromCGDisplayID(l.panel), 0,
                                   kIODisplayBrightnessKey, value) != kIOReturnSuccess)
        state.SkipWithError("the panel's service was not found or not written");
    for (auto _ : state) {
        io_service_t service = l.engine->IOServicePortFromCGDisplayID(l.panel);
        benchmark::DoNotOptimize(
            IODisplaySetFloatParameter(service, 0, kIODisplayBrightnessKey, value));
        value = value > 0.6f ? 0.3f : value + 0.01f;
    }
}

void BM_BuiltinWrite(benchmark::State& state) {
    auto& l = laptop();
    if (!l.ready(state))
        return;
    double value = 0.3;
    for (auto _ : state) {
        l.engine->setBrightness(value, l.panel);
        value = value > 0.6 ? 0.3 : value + 0.01;
    }
}
// Both writes at each size in turn: the laptop only grows.
BENCHMARK(BM_ServiceRouteWrite)->ArgName("backlights")->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuiltinWrite)->ArgName("backlights")->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ServiceRouteWrite)->ArgName("backlights")->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuiltinWrite)->ArgName("backlights")->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ServiceRouteWrite)->ArgName("backlights")->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuiltinWrite)->ArgName("backlights")->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<Laptop>(argc, argv);
}
