#include "HardwareFindings.h"

#include "CoreGraphics/DisplayBackend.h"
#include "IOKit/LightSensorBackend.h"
#include "IOKit/hid/HIDBackend.h"
#include "Machine.h"

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
