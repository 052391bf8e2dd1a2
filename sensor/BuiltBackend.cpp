// The back-end of the shared sensor, chosen when the build is configured
// (DUOLUME_ALS_BACKEND, by default from the target processor).
#include "sensor/AmbientLightSensor.h"

AmbientLightSensor::Backend AmbientLightSensor::builtBackend() {
#if defined(DUOLUME_ALS_BACKEND_CONTROLLER)
    return Backend::Controller;
#elif defined(DUOLUME_ALS_BACKEND_SERVICE_CLIENT)
    return Backend::ServiceClient;
#else
#error "the build must define DUOLUME_ALS_BACKEND_CONTROLLER or DUOLUME_ALS_BACKEND_SERVICE_CLIENT"
#endif
}
