#include "agent/HardwareReport.h"

#include "Foundation/NSLog.h"
#include "Session/Session.h"
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
    // Two programs following the light move the same panel against each other.
    if (platform::desktopAutomaticBrightness() == platform::DesktopAutomaticBrightness::On) {
        NSLog("GNOME's automatic screen brightness is on: it and Duolume will both change the "
              "built-in display's brightness. Switch it off in Settings, Power, or with: gsettings "
              "set org.gnome.settings-daemon.plugins.power ambient-enabled false");
    }
}

}  // namespace duolume
