// One desktop's own brightness service as a way to the built-in display.
// Every route is found by its bus name and by what its objects say of
// themselves (introspection), never by the desktop's name or version; a
// service that lacks what a write needs is not used. All of a route's work
// runs on the desktop brightness thread (DesktopBrightness).
#pragma once

#include <gio/gio.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CoreGraphics/CGTypes.h"
#include "DisplayServices/BuiltinBrightnessRoute.h"
#include "linux/DesktopBrightness.h"
#include "linux/DesktopBrightnessBus.h"

namespace platform::linux_machine {

// What a signal from the route's service means to this process.
struct RouteSignal {
    enum class Kind {
        Nothing,
        PersonChanged,  // someone other than this process changed the built-in display
        LookAgain,      // the service's offer changed: find the route again
    };
    Kind kind = Kind::Nothing;
    std::optional<double> brightness;  // with PersonChanged, when the service says
};

class DesktopBrightnessRoute {
  public:
    virtual ~DesktopBrightnessRoute() = default;

    virtual BuiltinBrightnessWay way() const = 0;
    virtual const char* busName() const = 0;
    // Asks the service whether it offers what a write needs, and reads the
    // ranges a write relies on. False (with bus.lastError() saying why) when not.
    virtual bool attach(DesktopBus& bus, const BuiltinPanel& panel) = 0;
    // Writes `brightness` (0.0 to 1.0); false (bus.lastError() says why) when
    // the service refused or did not answer.
    virtual bool write(DesktopBus& bus, double brightness) = 0;
    // A signal sent by the service's owner.
    virtual RouteSignal onSignal(DesktopBus&, const char* /*path*/, const char* /*interface*/,
                                 const char* /*member*/, GVariant* /*parameters*/) {
        return {};
    }
    // Hands the display back to the desktop when this process stops driving it.
    virtual void release(DesktopBus&) {}
    // True when what is written is a target that the desktop combines with
    // the person's own setting, so the panel does not show what was written.
    virtual bool writesATarget() const { return false; }
};

// The routes in the order they are tried.
std::unique_ptr<DesktopBrightnessRoute> makePlasmaScreenBrightnessRoute();
std::unique_ptr<DesktopBrightnessRoute> makePlasmaPowerManagementRoute();
std::unique_ptr<DesktopBrightnessRoute> makeGnomeShellRoute();
std::unique_ptr<DesktopBrightnessRoute> makeMutterBacklightRoute();
std::unique_ptr<DesktopBrightnessRoute> makeGnomeSettingsDaemonRoute();

// A fraction as a whole value of 0..maximum.
int scaledTo(double brightness, int maximum);

}  // namespace platform::linux_machine
