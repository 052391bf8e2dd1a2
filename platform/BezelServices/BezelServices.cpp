#include "BezelServices/BezelServices.h"

#include "machine/LightSensorBackend.h"
#include "machine/Machine.h"

IOHIDServiceClientRef ALCALSCopyALSServiceClient() {
    auto& m = platform::Machine::current();
    m.recordCall("ALCALSCopyALSServiceClient()");
    if (!m.lightSensor().hasServiceClient())
        return nullptr;
    return std::make_shared<__IOHIDServiceClient>();
}
