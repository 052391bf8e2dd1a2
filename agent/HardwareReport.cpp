#include "agent/HardwareReport.h"

#include "Foundation/NSLog.h"
#include "HardwareSurvey.h"
#include "engine/AppleMonitorProducts.h"
#include "sensor/AmbientLightSensor.h"

namespace duolume {

void logHardwareReport() {
    std::vector<platform::UsbDeviceID> monitors;
    for (auto product : kAppleMonitorProductIDs)
        monitors.push_back(
            {static_cast<std::int32_t>(kAppleUSBVendorID), static_cast<std::int32_t>(product)});
    for (const auto& finding : platform::surveyHardware(monitors))
        NSLog("%s", platform::describeFinding(finding).c_str());
    // Only one of the light sensor lines is the one the shared sensor reads.
    const auto& choice = AmbientLightSensor::sharedBackendChoice();
    NSLog("Light sensor in use: %s, because %s",
          AmbientLightSensor::describeBackend(choice.backend).c_str(), choice.reason.c_str());
}

}  // namespace duolume
