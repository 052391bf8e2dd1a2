#include "machine/HardwareFindings.h"

#include "machine/DisplayBackend.h"
#include "machine/HIDBackend.h"
#include "machine/LightSensorBackend.h"
#include "machine/Machine.h"

namespace platform {

std::vector<HardwareFinding> lightServiceClientFindings() {
    return Machine::current().lightSensor().serviceClientFindings();
}

HardwareFinding lightControllerFinding() {
    return Machine::current().lightSensor().controllerFinding();
}

HardwareFinding builtinPanelFinding() {
    return Machine::current().displays().builtinPanelFinding();
}

FindingReason hidDeviceAccess(HIDDevice* device) {
    return device ? device->access() : FindingReason::NotPresent;
}

}  // namespace platform
