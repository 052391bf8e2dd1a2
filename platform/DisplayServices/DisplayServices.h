// DisplayServices (private, weakly linked): the built-in display's brightness.
// Each operation may be absent; test it before calling.
#pragma once

#include "CoreGraphics/CGTypes.h"
#include "DisplayServices/WeakDisplayOperation.h"

namespace platform::display_services {
int getBrightness(CGDirectDisplayID display, float* brightness);
int setBrightness(CGDirectDisplayID display, float brightness);
bool canChangeBrightness(CGDirectDisplayID display);
}  // namespace platform::display_services

// Status 0 on success; the cell then holds the brightness 0.0 to 1.0.
inline constexpr platform::WeakDisplayOperation<
    platform::OptionalDisplayOperation::DisplayServicesGetBrightness,
    int(CGDirectDisplayID, float*)>
    DisplayServicesGetBrightness{"DisplayServicesGetBrightness",
                                 platform::display_services::getBrightness};

// Status 0 on success.
inline constexpr platform::WeakDisplayOperation<
    platform::OptionalDisplayOperation::DisplayServicesSetBrightness, int(CGDirectDisplayID, float)>
    DisplayServicesSetBrightness{"DisplayServicesSetBrightness",
                                 platform::display_services::setBrightness};

// True when the platform can change the display's brightness.
inline constexpr platform::WeakDisplayOperation<
    platform::OptionalDisplayOperation::DisplayServicesCanChangeBrightness, bool(CGDirectDisplayID)>
    DisplayServicesCanChangeBrightness{"DisplayServicesCanChangeBrightness",
                                       platform::display_services::canChangeBrightness};
