// The built-in display's fade beside the slowest monitor model on DDC/CI, on
// the Linux machine over a virtual laptop: the panel's sysfs backlight, and a
// monitor on /dev/i2c-5 served through FUSE whose every transfer takes 100 ms
// and which needs 120 ms to prepare a reply (null messages before). Each
// iteration makes two one-second fades in turn, one with the monitor driven
// and one with it switched off ("Also drive other monitors (DDC/CI)"), so
// both are measured in the same run under the same load. The ratios are the
// fades' wall times over the ideal 1.000 s; the monitor's writes are counted
// on its bus after each fade with it, once its writer has finished.
//
//   build/bin/ddc_fade_linux_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "EngineOnLaptop.h"
#include "engine/DdcMonitors.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "support/FuseI2cBus.h"

using namespace testing_support;

namespace {

constexpr double kTransferSeconds = 0.100;
constexpr double kReplySeconds = 0.120;

struct Laptop : bench_support::EngineOnLaptop {
    std::shared_ptr<FuseI2cBus> bus;

    Laptop() {
        laptop.addConnectorBacklight("intel_backlight", laptop.addBuiltinPanel(), 19200, 9600);
        laptop.setAmbientLight(VirtualLaptop::smcLightForLevel(5.0), 147.4);
        if (!mountHidraw(&why))
            return;
        bus = std::make_shared<FuseI2cBus>(kTransferSeconds);
        {
            auto lock = bus->lock();
            bus->monitor().replySeconds = kReplySeconds;
        }
        fuse->addNode("i2c-5", bus);
        laptop.addDdcMonitor("DP-5", 5, VirtualLaptop::makeEdid("DEL", 0xA0BA, 1, "DELL U2415"));
        engine = BrightnessController::sharedInstance();
        engine->hasExternalMonitors(settings(true));  // asks the monitor
        waitForMonitor("the monitor on DDC/CI did not answer");
        settle();
    }

    bool monitorFound() const override { return engine->ddcMonitors().anyAttached(); }

    static std::optional<NSDictionary> settings(bool ddc) {
        NSDictionary d;
        if (!ddc)
            d[duolume::kDdcMonitorsDisabledKey] = PlistValue::boolean(true);
        return d;
    }

    // Lets the monitor's writer and the run loop finish what they have.
    // Its writer sends 0.5 s after the fade, then reads the value back.
    void settle() { CFRunLoopRunInMode(kCFRunLoopDefaultMode, 3.0, false); }

    std::size_t writes() {
        auto lock = bus->lock();
        return bus->monitor().sets.size();
    }
};

Laptop& laptop() {
    static Laptop l;
    return l;
}

double fade(BrightnessController* engine, double internal, double external) {
    const auto start = std::chrono::steady_clock::now();
    engine->setBrightnessForInternalDisplay(internal, external, true);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_BuiltinFadeBesideASlowDdcMonitor(benchmark::State& state) {
    auto& l = laptop();
    if (!l.ready(state))
        return;
    bool up = true;
    double without = 0, with = 0;
    std::vector<double> writesPerFade;
    for (auto _ : state) {
        const double target = up ? 0.9 : 0.1;
        l.engine->hasExternalMonitors(Laptop::settings(false));
        without += fade(l.engine, 1.0 - target, target);
        l.settle();
        l.engine->hasExternalMonitors(Laptop::settings(true));
        const auto before = l.writes();
        // From where the monitor is to the other end: every fade moves it.
        with += fade(l.engine, target, 1.0 - target);
        l.settle();
        writesPerFade.push_back(static_cast<double>(l.writes() - before));
        state.SetIterationTime(1.0);
        up = !up;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio_without"] = without / n;
    state.counters["ratio_with"] = with / n;
    state.counters["with_over_without"] = with / without;
    state.counters["ddc_writes_per_fade"] =
        *std::max_element(writesPerFade.begin(), writesPerFade.end());
}
BENCHMARK(BM_BuiltinFadeBesideASlowDdcMonitor)->UseManualTime()->Iterations(6);

}  // namespace

BENCHMARK_MAIN();
