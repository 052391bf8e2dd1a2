// Every light level the shared sensor announces, in order, while it lives.
#pragma once

#include <optional>
#include <vector>

#include "Foundation/NSNotificationCenter.h"
#include "sensor/AmbientLightSensor.h"

namespace testing_support {

struct LightLevels {
    LightLevels() {
        NSNotificationCenter::defaultCenter().addObserver(
            this,
            [this](const NSNotification& n) { values.push_back(n.object->doubleValue().value()); },
            AmbientLightChangedNotification, std::nullopt);
    }
    ~LightLevels() { NSNotificationCenter::defaultCenter().removeObserver(this); }
    LightLevels(const LightLevels&) = delete;
    LightLevels& operator=(const LightLevels&) = delete;
    std::vector<double> values;
};

}  // namespace testing_support
