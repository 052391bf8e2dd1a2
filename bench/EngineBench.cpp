// The engine's sync request on the simulated machine, with the curve read from
// a real settings file: once without a fade, and once with a 100-step fade
// whose sleeps cost nothing (virtual time). The request without a fade is
// measured with the pane's 24 keys alone and with 2 000 foreign keys beside
// them in the same domain, since the whole file is read at every request.
//
//   build/bin/engine_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "engine/BrightnessController.h"
#include "linux/foundation/LinuxDefaults.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/SettingsStore.h"
#include "sim/SimMachine.h"
#include "support/SimAppleMonitor.h"

namespace {

using platform::sim::SimMachine;

// A temporary settings folder holding the pane's initial curve.
class SettingsFolder {
  public:
    SettingsFolder() {
        char pattern[] = "/tmp/duolume-bench-XXXXXX";
        path_ = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    }
    ~SettingsFolder() { std::filesystem::remove_all(path_); }

  private:
    std::string path_;
};

// Scripts the build's sensor back-end to give about `level`.
void scriptLevel(SimMachine& sim, double level) {
    auto& sensor = sim.simLightSensor();
    if (AmbientLightSensor::forcedBackend() != AmbientLightSensor::Backend::Controller) {
        sensor.serviceClientPresent = true;
        sensor.reading = std::exp(level) - 1.0;
    } else {
        sensor.controllerPresent = true;
        sensor.outputs[0] = sensor.outputs[1] =
            static_cast<std::uint64_t>(std::llround(std::pow(level + 1.0, 7.5) - 1.0));
    }
}

// A laptop with its built-in display and one Apple monitor, and the engine.
SimMachine& laptop() {
    auto& sim = SimMachine::installNew();
    sim.useDefaultsStorage(std::make_unique<platform::linux_machine::LinuxDefaults>(sim));
    duolume::writeInitialSettings(duolume::initialSettings());
    auto& displays = sim.simDisplays();
    displays.setAllOptionalOperationsPresent();
    displays.addBuiltinDisplay(1, 0.5);
    displays.addExternalDisplay(9);
    testing_support::plugInAppleMonitor(sim.simHID());
    scriptLevel(sim, 4.5);
    BrightnessController::sharedInstance();
    sim.runFor(0.01);
    return sim;
}

// Keeps the simulated machine's journals from growing without bound.
void trimJournals(SimMachine& sim) {
    sim.calls.clear();
    sim.sleeps.clear();
    sim.simDisplays().writes.clear();
    for (auto& device : sim.simHID().devices)
        device->sent.clear();
}

// One laptop and one engine for the whole process, as in the agent.
SimMachine& machine() {
    static SettingsFolder folder;
    static SimMachine& sim = laptop();
    return sim;
}

// The pane's settings and `count` keys of other writers (a mix of strings,
// numbers and dates, as a domain collects them over the years).
void writeSettingsWithForeignKeys(int count) {
    auto settings = duolume::initialSettings();
    for (int i = 0; i < count; ++i) {
        const std::string key = "com.example.leftover." + std::to_string(i);
        switch (i % 3) {
            case 0:
                settings[key] = PlistValue::string("value of key " + std::to_string(i));
                break;
            case 1:
                settings[key] = PlistValue::real(i * 0.001);
                break;
            default:
                settings[key] = PlistValue::date(700000000.0 + i);
                break;
        }
    }
    duolume::writeInitialSettings(settings);
}

// state.range(0): foreign keys in the domain besides the pane's 24.
void BM_SyncRequestWithoutFade(benchmark::State& state) {
    auto& sim = machine();
    auto* engine = BrightnessController::sharedInstance();
    writeSettingsWithForeignKeys(static_cast<int>(state.range(0)));
    trimJournals(sim);
    engine->updateDisplayBrightness(false);
    if (sim.simDisplays().writes.size() != 1 || !sim.sleeps.empty())
        state.SkipWithError("the request did not write the built-in display once");
    std::int64_t n = 0;
    for (auto _ : state) {
        engine->updateDisplayBrightness(false);
        if (++n % 256 == 0)
            trimJournals(sim);
    }
}
BENCHMARK(BM_SyncRequestWithoutFade)->ArgName("foreign_keys")->Arg(0)->Arg(2000);

void BM_SyncRequestWithFade(benchmark::State& state) {
    auto& sim = machine();
    auto* engine = BrightnessController::sharedInstance();
    writeSettingsWithForeignKeys(0);
    trimJournals(sim);
    // A level none of the loop's requests leaves the displays at, since this
    // function runs several times.
    scriptLevel(sim, 5.0);
    engine->updateDisplayBrightness(true);
    if (sim.sleeps.size() != 100)
        state.SkipWithError("the request did not fade");
    bool bright = false;
    for (auto _ : state) {
        // Alternating levels make every request a full fade.
        bright = !bright;
        scriptLevel(sim, bright ? 8.5 : 1.5);
        engine->updateDisplayBrightness(true);
        trimJournals(sim);
    }
}
BENCHMARK(BM_SyncRequestWithFade);

}  // namespace

BENCHMARK_MAIN();
