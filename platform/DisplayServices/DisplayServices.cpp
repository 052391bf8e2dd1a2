#include "DisplayServices/DisplayServices.h"

#include <cstdio>
#include <string>

namespace platform::display_services {
namespace {
DisplayBackend& displays() {
    return Machine::current().displays();
}

std::string formatDouble(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}
}  // namespace

int getBrightness(CGDirectDisplayID display, float* brightness) {
    Machine::current().recordCall("DisplayServicesGetBrightness(" + std::to_string(display) + ")");
    return displays().displayServicesGetBrightness(display, brightness);
}

int setBrightness(CGDirectDisplayID display, float brightness) {
    Machine::current().recordCall("DisplayServicesSetBrightness(" + std::to_string(display) + ", " +
                                  formatDouble(brightness) + ")");
    return displays().displayServicesSetBrightness(display, brightness);
}

bool canChangeBrightness(CGDirectDisplayID display) {
    Machine::current().recordCall("DisplayServicesCanChangeBrightness(" + std::to_string(display) +
                                  ")");
    return displays().displayServicesCanChangeBrightness(display);
}

int registerForBrightnessChangeNotifications(CGDirectDisplayID display, CGDirectDisplayID observer,
                                             DisplayServicesBrightnessChangeCallback callback) {
    Machine::current().recordCall("DisplayServicesRegisterForBrightnessChangeNotifications(" +
                                  std::to_string(display) + ", " + std::to_string(observer) + ")");
    return displays().displayServicesRegisterForBrightnessChangeNotifications(display, observer,
                                                                              std::move(callback));
}

int unregisterForBrightnessChangeNotifications(CGDirectDisplayID display,
                                               CGDirectDisplayID observer) {
    Machine::current().recordCall("DisplayServicesUnregisterForBrightnessChangeNotifications(" +
                                  std::to_string(display) + ", " + std::to_string(observer) + ")");
    return displays().displayServicesUnregisterForBrightnessChangeNotifications(display, observer);
}

}  // namespace platform::display_services

namespace platform {

BuiltinBrightnessRoute builtinBrightnessRoute() {
    return Machine::current().displays().builtinBrightnessRoute();
}

std::optional<BuiltinRouteKind> builtinRouteKind(int way) {
    return Machine::current().displays().builtinRouteKind(way);
}

}  // namespace platform
