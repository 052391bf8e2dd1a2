#include "agent/HardwareReport.h"

#include "Foundation/NSLog.h"
#include "engine/HardwareSurveyForDuolume.h"
#include "sensor/AmbientLightSensor.h"

namespace duolume {

void logHardwareReport() {
    for (const auto& finding : surveyDuolumeHardware())
        NSLog("%s", platform::describeFinding(finding).c_str());
    // Only one of the light sensor lines is the one the shared sensor reads.
    const auto& choice = AmbientLightSensor::sharedBackendChoice();
    NSLog("Light sensor in use: %s, because %s",
          AmbientLightSensor::describeBackend(choice.backend).c_str(), choice.reason.c_str());
}

}  // namespace duolume
