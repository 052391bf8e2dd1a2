// DisplayServices (private, weakly linked): the built-in display's brightness.
// Each operation may be absent; test it before calling.
#pragma once

#include "DisplayServices/WeakDisplayOperation.h"
#include "base/CGTypes.h"
#include "machine/BuiltinBrightnessRoute.h"

namespace platform::display_services {
int getBrightness(CGDirectDisplayID display, float* brightness);
int setBrightness(CGDirectDisplayID display, float brightness);
bool canChangeBrightness(CGDirectDisplayID display);
int registerForBrightnessChangeNotifications(CGDirectDisplayID display, CGDirectDisplayID observer,
                                             DisplayServicesBrightnessChangeCallback callback);
int unregisterForBrightnessChangeNotifications(CGDirectDisplayID display,
                                               CGDirectDisplayID observer);
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

// A change of the display's brightness made by someone other than this
// process (a person at the desktop's keys or slider) reaches `callback` on the
// main run loop, never one of this process's own writes. The operation is not
// documented; its shape is the one that the programs calling the private
// framework declare: the display, an observer identifier, a callback whose
// user info carries the new brightness under "value". Status 0 on success.
inline constexpr platform::WeakDisplayOperation<
    platform::OptionalDisplayOperation::DisplayServicesRegisterForBrightnessChangeNotifications,
    int(CGDirectDisplayID, CGDirectDisplayID, DisplayServicesBrightnessChangeCallback)>
    DisplayServicesRegisterForBrightnessChangeNotifications{
        "DisplayServicesRegisterForBrightnessChangeNotifications",
        platform::display_services::registerForBrightnessChangeNotifications};

// Ends what the registration for (display, observer) started. Status 0 on success.
inline constexpr platform::WeakDisplayOperation<
    platform::OptionalDisplayOperation::DisplayServicesUnregisterForBrightnessChangeNotifications,
    int(CGDirectDisplayID, CGDirectDisplayID)>
    DisplayServicesUnregisterForBrightnessChangeNotifications{
        "DisplayServicesUnregisterForBrightnessChangeNotifications",
        platform::display_services::unregisterForBrightnessChangeNotifications};

namespace platform {
// Which way the installed machine writes the built-in display's brightness
// now, and why; never waits for anything.
BuiltinBrightnessRoute builtinBrightnessRoute();
// The kind of the installed machine's route numbered `way`, absent when it
// knows no such number.
std::optional<BuiltinRouteKind> builtinRouteKind(int way);
}  // namespace platform
