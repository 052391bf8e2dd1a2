// Shared helpers of the sensor tests: a simulated machine and a recorder of
// AmbientLightChangedNotification.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "Foundation/NSNotificationCenter.h"
#include "sensor/AmbientLightSensor.h"
#include "sim/SimMachine.h"

// Collects the levels posted with AmbientLightChangedNotification while it lives.
class LevelRecorder {
  public:
    LevelRecorder() {
        NSNotificationCenter::defaultCenter().addObserver(
            this,
            [this](const NSNotification& note) {
                ASSERT_TRUE(note.object.has_value());
                auto level = note.object->doubleValue();
                ASSERT_TRUE(level.has_value());
                levels.push_back(*level);
            },
            AmbientLightChangedNotification, std::nullopt);
    }
    ~LevelRecorder() { NSNotificationCenter::defaultCenter().removeObserver(this); }
    std::vector<double> levels;
};

inline std::shared_ptr<AmbientLightSensor> newSensor(AmbientLightSensor::Backend backend) {
    auto sensor = AmbientLightSensor::alloc(backend);
    sensor->init();
    return sensor;
}

inline void PrintTo(AmbientLightSensor::Backend backend, std::ostream* os) {
    *os << (backend == AmbientLightSensor::Backend::Controller ? "controller" : "service client");
}
