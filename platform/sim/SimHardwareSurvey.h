// The simulated machine's hardware survey, read from its scripted parts:
// active displays, the built-in display's brightness routes, attached HID
// devices and the light sensor's two back-ends.
#pragma once

#include <vector>

#include "HardwareSurvey.h"

namespace platform::sim {

class SimDisplays;
class SimHID;
class SimLightSensor;

std::vector<HardwareFinding> surveySimHardware(SimDisplays& displays, const SimHID& hid,
                                               const SimLightSensor& sensor,
                                               const std::vector<UsbDeviceID>& monitors);

}  // namespace platform::sim
