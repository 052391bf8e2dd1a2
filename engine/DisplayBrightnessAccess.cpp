// One display's brightness: the built-in display through the platform's
// display services, every other display through the attached USB monitors.
#include "CoreGraphics/CGDirectDisplay.h"
#include "engine/BrightnessController.h"

double BrightnessController::getBrightness(CGDirectDisplayID display) {
    if (CGDisplayIsBuiltin(display))
        return getBuiltinBrightness(display);
    return getMonitorBrightness();
}

void BrightnessController::setBrightness(double brightness, CGDirectDisplayID display) {
    if (CGDisplayIsBuiltin(display))
        setBuiltinBrightness(brightness, display);
    else
        setMonitorBrightness(brightness);
}
