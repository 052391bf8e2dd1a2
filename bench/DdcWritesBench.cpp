// What monitors on DDC/CI are sent, counted on the simulated machine with the
// background agent as it runs for a user (virtual time, so an hour costs
// milliseconds): Set VCP Feature messages per hour of steady light (the
// sensor's reading wandering by ±2 % every second), per hour of dusk (the
// light falling from level 7 to level 2), and per one-second fade from 0 % to
// 100 %. The monitor takes 0 to 100, as most do. The engine is one per
// process and outlives the machine it started on: run one benchmark per
// process.
//
//   build/bin/ddc_writes_bench --benchmark_filter=SteadyLight   (Dusk, FullFade)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "agent/BackgroundAgent.h"
#include "engine/BrightnessController.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "sim/SimMachine.h"

namespace {

using platform::sim::SimMachine;

// A laptop whose agent keeps the curve of the initial settings (external =
// level / 10) on one monitor on DDC/CI, at about `level`.
struct Laptop {
    SimMachine& sim = SimMachine::installNew();
    platform::sim::SimAVService* monitor = nullptr;
    duolume::BackgroundAgent agent;

    explicit Laptop(double level) {
        sim.simDisplays().setAllOptionalOperationsPresent();
        sim.simDisplays().addBuiltinDisplay(1, 0.5);
        sim.simDisplays().addExternalDisplay(9);
        auto settings = duolume::initialSettings();
        settings[duolume::kEnabledKey] = PlistValue::integer(1);
        duolume::writeInitialSettings(settings);
        monitor = &sim.simAVServices().plugInDisplay();
        setLevel(level, 0.0);
        agent.start();
        sim.runFor(5.0);  // the monitor answers and is faded onto the curve
    }

    // The build's sensor, at `level` moved by `noise` (a share of its reading).
    void setLevel(double level, double noise) {
        auto& sensor = sim.simLightSensor();
        if (AmbientLightSensor::forcedBackend() == AmbientLightSensor::Backend::Controller) {
            sensor.controllerPresent = true;
            const double value = (std::pow(level + 1.0, 7.5) - 1.0) * (1.0 + noise);
            sensor.outputs[0] = sensor.outputs[1] = static_cast<std::uint64_t>(std::llround(value));
            sensor.deliverInterestMessage();
        } else {
            sensor.serviceClientPresent = true;
            sensor.reading = (std::exp(level) - 1.0) * (1.0 + noise);
        }
    }
    std::size_t writes() const { return monitor->monitor.sets.size(); }
};

// One hour, second by second, the light at `levelAt(seconds)` with noise.
std::size_t writesInAnHour(double (*levelAt)(double)) {
    Laptop laptop(levelAt(0));
    std::mt19937 random(26);
    std::uniform_real_distribution<double> noise(-0.02, 0.02);
    const auto before = laptop.writes();
    for (int second = 0; second < 3600; ++second) {
        laptop.setLevel(levelAt(second), noise(random));
        laptop.sim.runFor(1.0);
    }
    return laptop.writes() - before;
}

void BM_DdcWritesPerHourOfSteadyLight(benchmark::State& state) {
    std::size_t writes = 0;
    for (auto _ : state)
        writes = writesInAnHour([](double) { return 4.5; });
    state.counters["writes_per_hour"] = static_cast<double>(writes);
}
BENCHMARK(BM_DdcWritesPerHourOfSteadyLight)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DdcWritesPerHourOfDusk(benchmark::State& state) {
    std::size_t writes = 0;
    for (auto _ : state)
        writes = writesInAnHour([](double s) { return 7.0 - 5.0 * s / 3600.0; });
    state.counters["writes_per_hour"] = static_cast<double>(writes);
}
BENCHMARK(BM_DdcWritesPerHourOfDusk)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DdcWritesPerFullFade(benchmark::State& state) {
    Laptop laptop(5.0);
    auto* engine = BrightnessController::sharedInstance();
    std::size_t most = 0;
    bool up = true;
    for (auto _ : state) {
        const auto before = laptop.writes();
        engine->setBrightnessForInternalDisplay(0.5, up ? 1.0 : 0.0, true);
        laptop.sim.runFor(2.0);
        most = std::max(most, laptop.writes() - before);
        up = !up;
    }
    state.counters["most_writes_per_fade"] = static_cast<double>(most);
}
BENCHMARK(BM_DdcWritesPerFullFade)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
