#include "CoreDisplay/CoreDisplay.h"

#include <cstdio>
#include <string>

namespace platform::core_display {

double getUserBrightness(CGDirectDisplayID display) {
    Machine::current().recordCall("CoreDisplay_Display_GetUserBrightness(" +
                                  std::to_string(display) + ")");
    return Machine::current().displays().coreDisplayGetUserBrightness(display);
}

void setUserBrightness(CGDirectDisplayID display, double brightness) {
    char value[32];
    std::snprintf(value, sizeof value, "%.17g", brightness);
    Machine::current().recordCall("CoreDisplay_Display_SetUserBrightness(" +
                                  std::to_string(display) + ", " + value + ")");
    Machine::current().displays().coreDisplaySetUserBrightness(display, brightness);
}

}  // namespace platform::core_display
