// A simulated machine with helpers to script the curve, the displays and the
// monitors the engine drives.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/BrightnessController.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "sim/SimMachine.h"

namespace engine_testing {

using platform::OptionalDisplayOperation;
using platform::sim::SimBrightnessWrite;
using platform::sim::SimDisplay;
using platform::sim::SimHIDDevice;
using platform::sim::SimMachine;

// Scripts the light sensor of the build's back-end to give about `level`;
// returns the exact level the sensor computes from what was scripted.
inline double scriptAmbientLevel(SimMachine& sim, double level) {
    auto& sensor = sim.simLightSensor();
    if (AmbientLightSensor::forcedBackend() != AmbientLightSensor::Backend::Controller) {
        sensor.serviceClientPresent = true;
        sensor.reading = std::exp(level) - 1.0;
        return std::log(*sensor.reading + 1.0);
    }
    // Both values equal: level = (value + 1)^(2/15) - 1.
    sensor.controllerPresent = true;
    const auto value = static_cast<std::uint64_t>(std::llround(std::pow(level + 1.0, 7.5) - 1.0));
    sensor.outputs[0] = sensor.outputs[1] = value;
    return std::pow(static_cast<double>(value) + 1.0, 2.0 / 15.0) - 1.0;
}

// Counts the reads of the in-memory settings.
class CountingDefaults : public platform::DefaultsStorage {
  public:
    explicit CountingDefaults(platform::DefaultsStorage& inner) : inner_(inner) {}
    std::optional<PlistDictionary> read(const std::string& domain) override {
        ++reads;
        return inner_.read(domain);
    }
    bool write(const std::string& domain, const PlistDictionary& content) override {
        return inner_.write(domain, content);
    }
    bool flush() override { return inner_.flush(); }
    std::unique_ptr<UpdateLock> lockForUpdate(const std::string& domain) override {
        return inner_.lockForUpdate(domain);
    }
    int reads = 0;

  private:
    platform::DefaultsStorage& inner_;
};

class EngineTest : public ::testing::Test {
  protected:
    SimMachine& sim = SimMachine::installNew();
    platform::sim::SimDisplays& displays = sim.simDisplays();
    platform::sim::SimHID& hid = sim.simHID();

    // Settings reads from now on go through a counter.
    CountingDefaults& countSettingsReads() {
        auto counting = std::make_unique<CountingDefaults>(sim.simDefaults());
        auto& ref = *counting;
        sim.useDefaultsStorage(std::move(counting));
        return ref;
    }

    NSDictionary& settings() { return sim.simDefaults().domains[duolume::ProductIdentifier]; }
    void setPoint(const std::string& prefix, int level, double value) {
        settings()[duolume::curveKeyForLevel(prefix, level)] = PlistValue::real(value);
    }
    // The same two targets at every level, so the level does not matter.
    void setFlatCurve(double internal, double external) {
        for (int level = 0; level < duolume::kCurveLevels; ++level) {
            setPoint(duolume::kInternalPrefix, level, internal);
            setPoint(duolume::kExternalPrefix, level, external);
        }
    }

    double setAmbientLevel(double level) { return scriptAmbientLevel(sim, level); }

    // The shared engine, with the watcher's first reports delivered.
    BrightnessController& engine() {
        auto* e = BrightnessController::sharedInstance();
        sim.runFor(0.01);
        return *e;
    }

    // Platform calls made from now on.
    void markCalls() { mark_ = sim.calls.size(); }
    std::vector<std::string> callsSinceMark() const {
        return {sim.calls.begin() + static_cast<long>(mark_), sim.calls.end()};
    }
    int countCallsSinceMark(const std::string& prefix) const {
        auto calls = callsSinceMark();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [&](auto& c) { return c.rfind(prefix, 0) == 0; }));
    }

    // Brightness values written to a monitor with report 16.
    static std::vector<std::vector<std::uint8_t>> payloadsSent(const SimHIDDevice& device) {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& r : device.sent)
            if (r.type == kIOHIDReportTypeFeature && r.reportID == 16)
                out.push_back(r.bytes);
        return out;
    }

  private:
    std::size_t mark_ = 0;
};

}  // namespace engine_testing
