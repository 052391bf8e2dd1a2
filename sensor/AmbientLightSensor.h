// The process-wide source of the ambient light level (0.0 darkest to 10.0
// brightest; negative values are failure markers). Announces changes with the
// local notification AmbientLightChangedNotification, whose object is a
// number holding the level.
//
// This header is the surface the engine and the pane rely on; the back-ends
// live beside it.
#pragma once

#include <string>

// "AmbientLightChangedNotification"
extern const std::string AmbientLightChangedNotification;

class AmbientLightSensor {
public:
    // The one sensor of the process, created (and set up) on the first call.
    static AmbientLightSensor* sharedInstance();
    // The current level, computed afresh from the back-end's data.
    double getCurrentAmbientLight();
};
