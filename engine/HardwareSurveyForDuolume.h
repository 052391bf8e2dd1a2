// The hardware survey with the devices Duolume drives: every display,
// backlight and light sensor, and the USB devices of the Apple monitor table.
// The agent logs it at start; the pane sums it up in its status line.
#pragma once

#include <vector>

#include "HardwareSurvey.h"

namespace duolume {

std::vector<platform::HardwareFinding> surveyDuolumeHardware();

}  // namespace duolume
