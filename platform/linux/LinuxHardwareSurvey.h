// The Linux machine's hardware survey: DRM connectors, panel backlights
// (with the road a brightness write would take), hidraw nodes and appledisplay
// backlights of the listed USB monitors, and every light sensor source
// (iio-sensor-proxy, IIO devices, the Apple SMC pair), each with why it
// cannot be used when it cannot.
#pragma once

#include <vector>

#include "HardwareSurvey.h"

namespace platform::linux_machine {

std::vector<HardwareFinding> surveyLinuxHardware(const std::vector<UsbDeviceID>& monitors);

}  // namespace platform::linux_machine
