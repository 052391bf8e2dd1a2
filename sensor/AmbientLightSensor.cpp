#include "sensor/AmbientLightSensor.h"

#include <cstdio>

#include "Foundation/NSException.h"
#include "Foundation/NSNotificationCenter.h"
#include "sensor/ControllerAmbientLightSensor.h"
#include "sensor/ServiceClientAmbientLightSensor.h"

const std::string AmbientLightChangedNotification = "AmbientLightChangedNotification";

namespace {

// Set once `init` of the first shared sensor has returned; never cleared.
std::shared_ptr<AmbientLightSensor>& sharedReference() {
    static std::shared_ptr<AmbientLightSensor> shared;
    return shared;
}

AmbientLightSensor::BackendChoice& sharedChoice() {
    static AmbientLightSensor::BackendChoice choice{AmbientLightSensor::Backend::ServiceClient, ""};
    return choice;
}

std::string formatMisuseReason(const char* cls, const char* called, const char* use) {
    char reason[256];
    std::snprintf(reason, sizeof reason, "[%s %s] cannot be called; use +[%s %s] instead", cls,
                  called, cls, use);
    return reason;
}

}  // namespace

AmbientLightSensor* AmbientLightSensor::sharedInstance() {
    auto& shared = sharedReference();
    if (shared)
        return shared.get();
    sharedChoice() = chooseBackend();
    auto sensor = alloc(sharedChoice().backend);
    sensor->init();
    // Stored only now, so the set-up above ran while no shared sensor existed.
    shared = std::move(sensor);
    return shared.get();
}

const AmbientLightSensor::BackendChoice& AmbientLightSensor::sharedBackendChoice() {
    sharedInstance();
    return sharedChoice();
}

std::shared_ptr<AmbientLightSensor> AmbientLightSensor::alloc(Backend backend) {
    if (backend == Backend::Controller)
        return std::make_shared<ControllerAmbientLightSensor>();
    return std::make_shared<ServiceClientAmbientLightSensor>();
}

AmbientLightSensor* AmbientLightSensor::init() {
    static const char* const kClassName = "AmbientLightSensor";
    if (sharedReference()) {
        throw NSException(NSInternalInconsistencyException,
                          formatMisuseReason(kClassName, "init", "sharedInstance"));
    }
    if (!initRootObject()) {
        throw NSException("AmbientLightSensorInitFailed",
                          "Failed to init AmbientLightSensor shared instance");
    }
    // A failing set-up leaves a sensor that reports its failure level.
    setupAmbientLightSensor();
    return this;
}

void AmbientLightSensor::postLevel() {
    NSNotificationCenter::defaultCenter().postNotificationName(
        AmbientLightChangedNotification, PlistValue::real(getCurrentAmbientLight()));
}
