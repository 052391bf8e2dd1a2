// A one-second fade on the Linux machine over a virtual laptop: the built-in
// panel's sysfs backlight and an Apple USB monitor answering feature reports
// through FUSE (real ioctls through the kernel). The fade is 100 steps with a
// 10 ms sleep after each, so its ideal wall time is 1.000 s; "ratio" is the
// measured time over that ideal. BM_PacingAlone is the same 100 sleeps with no
// work (what timers and the scheduler add on the machine at the time);
// BM_FadeStepWrites is one step's two writes as the engine makes them, and the
// other benchmarks time one write of each kind, the cost a step adds to its
// 10 ms.
//
//   build/bin/fade_linux_bench --benchmark_repetitions=10
//                              --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

#include <unistd.h>

#include "CoreFoundation/CFRunLoop.h"
#include "CoreGraphics/CGDirectDisplay.h"
#include "EngineOnLaptop.h"
#include "machine/DisplayBackend.h"

using namespace testing_support;

namespace {

// One laptop for the whole process: the machine's root is read once. The
// temporary folders are made after TMPDIR is set.
struct Laptop : bench_support::EngineOnLaptop {
    Laptop() {
        std::string panel = laptop.addBuiltinPanel();
        laptop.addExternalOutput();
        laptop.addConnectorBacklight("intel_backlight", panel, 19200, 9600);
        if (!mountHidraw(&why))
            return;
        fuse->addMonitor("hidraw0", 0x8000);
        laptop.addHidrawDevice(0, 0x9226);
        engine = BrightnessController::sharedInstance();
        waitForMonitor("the virtual monitor was not found");
    }

    bool monitorFound() const override { return !engine->externalMonitors().empty(); }
};

// Taken down at exit before the machine (which was installed while it was
// being built): the monitor's file system is unmounted and the folders go.
Laptop& laptop() {
    static Laptop l;
    return l;
}

void BM_FadeOnLinux(benchmark::State& state) {
    auto& l = laptop();
    if (!l.ready(state))
        return;
    bool up = true;
    double total = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (up) {
            l.engine->setBrightnessForInternalDisplay(0.8, 0.9, true);
        } else {
            l.engine->setBrightnessForInternalDisplay(0.2, 0.3, true);
        }
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        up = !up;
    }
    state.counters["ratio"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FadeOnLinux)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

// The fade's pacing alone, 100 sleeps of 10 ms, for comparison: what the
// system's timers and scheduler add on this machine right now.
void BM_PacingAlone(benchmark::State& state) {
    laptop();  // installs the Linux machine, whose sleep this is
    double total = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 100; ++i)
            platform::Machine::current().sleepMicroseconds(10000);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["ratio"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PacingAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

// One request without smoothing: the reads that start every transition, then
// one write per display, the platform calls around them included.
void BM_RequestWithoutSmoothing(benchmark::State& state) {
    auto& l = laptop();
    if (!l.ready(state))
        return;
    double value = 0.3;
    for (auto _ : state) {
        l.engine->setBrightnessForInternalDisplay(value, 1.0 - value, false);
        value = value > 0.6 ? 0.3 : value + 0.01;
    }
}
BENCHMARK(BM_RequestWithoutSmoothing)->Unit(benchmark::kMicrosecond);

// The laptop, ready, with its two active displays, the built-in one first,
// as the engine orders them for a fade; null (and the benchmark skipped)
// otherwise.
Laptop* readyWithBuiltinFirst(benchmark::State& state, CGDirectDisplayID (&displays)[2]) {
    auto& l = laptop();
    if (!l.ready(state))
        return nullptr;
    CGDisplayCount count = 0;
    CGGetActiveDisplayList(2, displays, &count);
    if (count != 2) {
        state.SkipWithError("the laptop does not show two active displays");
        return nullptr;
    }
    if (!CGDisplayIsBuiltin(displays[0]))
        std::swap(displays[0], displays[1]);
    return &l;
}

// One fade step's writes as the engine makes them: the built-in display, then
// the other display (every attached monitor), presence tests and look-ups
// included; the step's sleep left out.
void BM_FadeStepWrites(benchmark::State& state) {
    CGDirectDisplayID displays[2] = {};
    auto* l = readyWithBuiltinFirst(state, displays);
    if (!l)
        return;
    double value = 0.3;
    for (auto _ : state) {
        l->engine->setBrightness(value, displays[0]);
        l->engine->setBrightness(value, displays[1]);
        value = value > 0.6 ? 0.3 : value + 0.003;
    }
}
BENCHMARK(BM_FadeStepWrites)->Unit(benchmark::kMicrosecond);

// The same writes as in a fade, each after a 10 ms sleep: caches gone cold,
// the monitor's server thread asleep. Only the writes are timed.
// state.range(0): 0 both displays, 1 the panel alone, 2 the monitor alone.
void BM_FadeStepWritesAfterSleep(benchmark::State& state) {
    CGDirectDisplayID displays[2] = {};
    auto* l = readyWithBuiltinFirst(state, displays);
    if (!l)
        return;
    const bool panel = state.range(0) != 2;
    const bool monitor = state.range(0) != 1;
    double value = 0.3;
    for (auto _ : state) {
        platform::Machine::current().sleepMicroseconds(10000);
        auto start = std::chrono::steady_clock::now();
        if (panel)
            l->engine->setBrightness(value, displays[0]);
        if (monitor)
            l->engine->setBrightness(value, displays[1]);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        value = value > 0.6 ? 0.3 : value + 0.003;
    }
}
BENCHMARK(BM_FadeStepWritesAfterSleep)
    ->ArgName("displays")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// One panel write as the engine makes it: DisplayServices through sysfs.
void BM_PanelBacklightWrite(benchmark::State& state) {
    auto& l = laptop();
    if (!l.ready(state))
        return;
    auto& displays = l.machine.displays();
    std::vector<CGDirectDisplayID> active;
    displays.activeDisplays(active);
    float value = 0.3f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(displays.displayServicesSetBrightness(active.at(0), value));
        value = value > 0.5f ? 0.3f : value + 0.01f;
    }
}
BENCHMARK(BM_PanelBacklightWrite)->Unit(benchmark::kMicrosecond);

// One brightness report to the monitor, through the kernel and FUSE.
void BM_MonitorReportWrite(benchmark::State& state) {
    auto& l = laptop();
    if (!l.ready(state))
        return;
    IOHIDDeviceRef monitor = *l.engine->externalMonitors().begin();
    std::uint8_t payload[2] = {0x00, 0x80};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            IOHIDDeviceSetReport(monitor, kIOHIDReportTypeFeature, 16, payload, 2));
        ++payload[0];
    }
}
BENCHMARK(BM_MonitorReportWrite)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
