// The built-in display's brightness through three routes, tried in order:
// DisplayServices, CoreDisplay (gated by DisplayServices' capability test),
// and the display connection service's "brightness" parameter. The first two
// are weakly linked, so each operation is tested for presence right before
// its call.
#include "CoreDisplay/CoreDisplay.h"
#include "DisplayServices/DisplayServices.h"
#include "Foundation/NSLog.h"
#include "IOKit/IOGraphicsLib.h"
#include "engine/BrightnessController.h"

double BrightnessController::getBuiltinBrightness(CGDirectDisplayID display) {
    // Every route's value passes through this single-precision cell.
    float cell = 0.0f;
    if (readBuiltinBrightness(display, cell) && builtinWrites_.seenIn(cell)) {
        NSLog(
            "The built-in display's brightness was changed by another program since the last "
            "sync");
    }
    return cell;
}

bool BrightnessController::readBuiltinBrightness(CGDirectDisplayID display, float& cell) {
    if (DisplayServicesGetBrightness && DisplayServicesGetBrightness(display, &cell) == 0)
        return true;

    if (DisplayServicesCanChangeBrightness && CoreDisplay_Display_GetUserBrightness &&
        DisplayServicesCanChangeBrightness(display)) {
        cell = static_cast<float>(CoreDisplay_Display_GetUserBrightness(display));
        return true;
    }

    io_service_t service = IOServicePortFromCGDisplayID(display);
    IOReturn status = IODisplayGetFloatParameter(service, 0, kIODisplayBrightnessKey, &cell);
    if (status != kIOReturnSuccess) {
        NSLog(
            "IODisplayGetFloatParameter error 0x%x while retrieving brightness for internal "
            "display",
            status);
        return false;
    }
    return true;
}

void BrightnessController::setBuiltinBrightness(double brightness, CGDirectDisplayID display) {
    const float single = static_cast<float>(brightness);

    if (DisplayServicesSetBrightness && DisplayServicesSetBrightness(display, single) == 0) {
        builtinWrites_.wrote(single);
        return;
    }

    // Writing is gated more loosely than reading: a missing capability test
    // does not stop CoreDisplay.
    if (CoreDisplay_Display_SetUserBrightness &&
        (!DisplayServicesCanChangeBrightness || DisplayServicesCanChangeBrightness(display))) {
        CoreDisplay_Display_SetUserBrightness(display, brightness);
        builtinWrites_.wrote(brightness);
        return;
    }

    io_service_t service = IOServicePortFromCGDisplayID(display);
    IOReturn status = IODisplaySetFloatParameter(service, 0, kIODisplayBrightnessKey, single);
    if (status != kIOReturnSuccess) {
        NSLog("IODisplaySetFloatParameter error 0x%x while setting brightness for internal display",
              status);
        builtinWrites_.writeFailed();
        return;
    }
    builtinWrites_.wrote(single);
}
