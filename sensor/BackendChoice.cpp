// Which back-end the shared sensor uses. A build may force one
// (DUOLUME_ALS_BACKEND); otherwise the machine decides when the shared sensor
// is created: a machine with the "AppleLMUController" pair (on Linux the Apple
// SMC's light attribute) gets the controller back-end and its formula, every
// other machine the service client (whatever the machine reads for it) and
// its formula, so the formula always matches the sensor read.
#include "IOKit/IOKitLib.h"
#include "machine/MachineTexts.h"
#include "sensor/AmbientLightSensor.h"

std::optional<AmbientLightSensor::Backend> AmbientLightSensor::forcedBackend() {
#if defined(DUOLUME_ALS_BACKEND_CONTROLLER)
    return Backend::Controller;
#elif defined(DUOLUME_ALS_BACKEND_SERVICE_CLIENT)
    return Backend::ServiceClient;
#else
    return std::nullopt;
#endif
}

AmbientLightSensor::BackendChoice AmbientLightSensor::chooseBackend() {
    if (auto forced = forcedBackend())
        return {*forced, "forced by the build (DUOLUME_ALS_BACKEND)"};
    io_service_t controller =
        IOServiceGetMatchingService(kIOMasterPortDefault, IOServiceMatching("AppleLMUController"));
    if (controller) {
        IOObjectRelease(controller);
        return {Backend::Controller, "the AppleLMUController pair (Apple SMC) is present"};
    }
    return {Backend::ServiceClient, "no AppleLMUController pair (Apple SMC) on this machine"};
}

std::string AmbientLightSensor::describeBackend(Backend backend) {
    return backend == Backend::Controller
               ? "AppleLMUController (the Apple SMC pair)"
               : "the service client (" +
                     platform::machineTexts().lightServiceSources(platform::Wording::English) + ")";
}
