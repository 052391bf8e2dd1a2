// CoreDisplay (private, weakly linked): the user brightness of a display as a
// double, without a status. Each operation may be absent; test it before calling.
#pragma once

#include "DisplayServices/WeakDisplayOperation.h"
#include "base/CGTypes.h"

namespace platform::core_display {
double getUserBrightness(CGDirectDisplayID display);
void setUserBrightness(CGDirectDisplayID display, double brightness);
}  // namespace platform::core_display

inline constexpr platform::WeakDisplayOperation<
    platform::OptionalDisplayOperation::CoreDisplayGetUserBrightness, double(CGDirectDisplayID)>
    CoreDisplay_Display_GetUserBrightness{"CoreDisplay_Display_GetUserBrightness",
                                          platform::core_display::getUserBrightness};

inline constexpr platform::WeakDisplayOperation<
    platform::OptionalDisplayOperation::CoreDisplaySetUserBrightness,
    void(CGDirectDisplayID, double)>
    CoreDisplay_Display_SetUserBrightness{"CoreDisplay_Display_SetUserBrightness",
                                          platform::core_display::setUserBrightness};
