// The process-wide source of the ambient light level (0.0 darkest to 10.0
// brightest; negative values are failure markers). Announces changes with the
// local notification AmbientLightChangedNotification, whose object is a
// number holding the level.
//
// Two back-ends sit behind this one class, both always compiled:
// - ServiceClientAmbientLightSensor reads the sensor's HID service client once
//   a second and announces changed readings; level = ln(reading + 1);
// - ControllerAmbientLightSensor reads the "AppleLMUController" service's two
//   values on request and announces at every message of the service; level =
//   (average + 1)^(2/15) - 1, with -1.0 and -2.0 as failure markers.
// The shared instance uses the one the build forces, or else the one that fits
// the machine's sensor (chooseBackend()).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Foundation/NSObject.h"

// "AmbientLightChangedNotification"
extern const std::string AmbientLightChangedNotification;

class AmbientLightSensor : public NSObject,
                           public std::enable_shared_from_this<AmbientLightSensor> {
  public:
    enum class Backend { ServiceClient, Controller };
    struct BackendChoice {
        Backend backend;
        std::string reason;  // why this one, for the start-up report
    };

    virtual ~AmbientLightSensor() = default;

    // The one sensor of the process, created (and set up) on the first call.
    static AmbientLightSensor* sharedInstance();
    // The back-end the build forces on every machine; absent: chosen at run time.
    static std::optional<Backend> forcedBackend();
    // The back-end a shared sensor created now would use, and why.
    static BackendChoice chooseBackend();
    // The choice the shared instance was created with (creating it if need be).
    static const BackendChoice& sharedBackendChoice();
    // "AppleLMUController (the Apple SMC pair)" / "the service client (...)".
    static std::string describeBackend(Backend backend);
    // A new sensor of `backend`, not yet initialised.
    static std::shared_ptr<AmbientLightSensor> alloc(Backend backend);

    // Connects to the machine's sensor and schedules change announcements on
    // the current thread's run loop. Failures are logged; the sensor stays usable.
    virtual void setupAmbientLightSensor() = 0;
    // The current level, computed afresh from the back-end's data.
    virtual double getCurrentAmbientLight() = 0;
    // Initialises a freshly allocated sensor and sets it up. Raises
    // NSInternalInconsistencyException once the shared instance exists, and
    // "AmbientLightSensorInitFailed" when the root object cannot be initialised.
    AmbientLightSensor* init();

  protected:
    AmbientLightSensor() = default;
    // Posts AmbientLightChangedNotification with the current level.
    void postLevel();
};
