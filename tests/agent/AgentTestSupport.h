// A simulated laptop for the background agent: a built-in display, the light
// sensor of the build's back-end, the initial settings with sync on.
#pragma once

#include <cmath>

#include "Foundation/NSNotificationCenter.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "sim/SimMachine.h"

class SimLaptop {
  public:
    SimLaptop() : sim(platform::sim::SimMachine::installNew()) {
        sim.simDisplays().setAllOptionalOperationsPresent();
        display = &sim.simDisplays().addBuiltinDisplay(1, 0.5);
        auto settings = duolume::initialSettings();
        settings[duolume::kEnabledKey] = PlistValue::integer(1);
        duolume::writeInitialSettings(settings);
        auto& sensor = sim.simLightSensor();
        if (controller()) {
            sensor.controllerPresent = true;
        } else {
            sensor.serviceClientPresent = true;
        }
        setLight(5.0);
    }

    static bool controller() {
        return AmbientLightSensor::forcedBackend() == AmbientLightSensor::Backend::Controller;
    }

    // The raw sensor data that gives `level`, in the build's back-end.
    void setLight(double level) {
        auto& sensor = sim.simLightSensor();
        if (controller()) {
            auto average =
                static_cast<std::uint64_t>(std::llround(std::pow(level + 1.0, 7.5) - 1.0));
            sensor.outputs[0] = sensor.outputs[1] = average;
        } else {
            sensor.reading = std::exp(level) - 1.0;
        }
    }
    // Moves the raw data by `delta` units (sensor noise).
    void nudgeRaw(double delta) {
        auto& sensor = sim.simLightSensor();
        if (controller()) {
            sensor.outputs[0] =
                static_cast<std::uint64_t>(static_cast<double>(sensor.outputs[0]) + delta);
        } else {
            sensor.reading = *sensor.reading + delta;
        }
    }
    // Lets the sensor notice: an interest message, or a polling tick.
    void announce() {
        if (controller())
            sim.simLightSensor().deliverInterestMessage();
        sim.runFor(1.0);
    }
    double builtin() const { return display->brightness; }

    platform::sim::SimMachine& sim;
    platform::sim::SimDisplay* display = nullptr;
};
