// What monitors on DDC/CI are sent, counted on the simulated machine with the
// background agent as it runs for a user (virtual time, so an hour costs
// milliseconds): Set VCP Feature messages per hour of steady light (the
// sensor's reading wandering by ±2 % every second), per hour of dusk (the
// light falling from level 7 to level 2), and per one-second fade from 0 % to
// 100 %, and per day of light (below). The monitor takes 0 to 100, as most
// do. The engine is one per process and outlives the machine it started on:
// run one benchmark per process.
//
//   build/bin/ddc_writes_bench --benchmark_filter=SteadyLight   (Dusk, FullFade, Day)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "agent/BackgroundAgent.h"
#include "engine/BrightnessController.h"
#include "engine/CurveLookup.h"
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

// A day of a room's light, second by second, as a light level (0 dark to
// 10): night until 6:00, sunrise to 7:00, daylight with eight passing clouds
// (each takes the light 1.5 levels down for 3 to 10 minutes, with a minute
// on each edge), sunset from 18:00 to 19:00, a lamp switched on at 19:30
// and off at 23:00.
double dayLevelAt(double s) {
    const double h = s / 3600.0;
    auto ramp = [](double x) { return 0.5 - 0.5 * std::cos(std::clamp(x, 0.0, 1.0) * M_PI); };
    double level = 0.3;
    if (h >= 6 && h < 7)
        level = 0.3 + 6.2 * ramp(h - 6);
    else if (h >= 7 && h < 18)
        level = 6.5;
    else if (h >= 18 && h < 19)
        level = 6.5 - 6.2 * ramp(h - 18);
    if (h >= 7 && h < 18) {
        static const double clouds[][2] = {{8.2, 3},  {9.5, 7},  {10.9, 10}, {12.3, 5},
                                           {13.1, 9}, {14.6, 4}, {15.8, 8},  {16.9, 6}};
        for (const auto& c : clouds) {
            const double start = c[0] * 3600, length = c[1] * 60;
            const double edge = std::min({(s - start) / 60.0, (start + length - s) / 60.0, 1.0});
            if (edge > 0)
                level -= 1.5 * ramp(edge);
        }
    }
    if (h >= 19.5 && h < 23)
        level = std::max(level, 3.0);
    return level;
}

// Writes in that day, and how far the monitor strayed from the curve
// meanwhile (its value against the curve's target for the light of each
// second, in points of its range).
void BM_DdcWritesPerDayOfLight(benchmark::State& state) {
    std::size_t writes = 0;
    std::vector<double> stray;
    for (auto _ : state) {
        Laptop laptop(dayLevelAt(0));
        const auto settings = duolume::fetchSettings();
        std::mt19937 random(26);
        std::uniform_real_distribution<double> noise(-0.02, 0.02);
        const auto before = laptop.writes();
        for (int second = 0; second < 24 * 3600; ++second) {
            laptop.setLevel(dayLevelAt(second), noise(random));
            laptop.sim.runFor(1.0);
            const auto target = duolume::curveTargetsAt(dayLevelAt(second), settings);
            const auto& monitor = laptop.monitor->monitor;
            if (target)
                stray.push_back(
                    std::abs(100.0 * monitor.current / monitor.maximum - 100.0 * target->external));
        }
        writes = laptop.writes() - before;
    }
    std::sort(stray.begin(), stray.end());
    auto at = [&](double share) {
        return stray[static_cast<std::size_t>(share * (stray.size() - 1))];
    };
    state.counters["writes_per_day"] = static_cast<double>(writes);
    state.counters["stray_median_points"] = at(0.5);
    state.counters["stray_p95_points"] = at(0.95);
    state.counters["stray_max_points"] = stray.back();
    state.counters["seconds_over_10_points"] = static_cast<double>(
        std::count_if(stray.begin(), stray.end(), [](double s) { return s > 10.0; }));
}
BENCHMARK(BM_DdcWritesPerDayOfLight)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
