// One desktop's own brightness service as a way to the built-in display.
// Every route is found by its bus name and by what its objects say of
// themselves (introspection), never by the desktop's name or version; a
// service that lacks what a write needs is not used. All of a route's work
// runs on the desktop brightness thread (DesktopBrightness).
//
// Each route knows, from its desktop's sources, how a value it sends lands on
// the panel (the service's scale, its offset, its rounding), so it alone
// answers whether an announcement or a reading is what this process sent.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/CGTypes.h"
#include "linux/desktop/DesktopBrightness.h"
#include "linux/desktop/DesktopBrightnessBus.h"
#include "linux/desktop/SentValues.h"
#include "machine/BuiltinBrightnessRoute.h"

namespace platform::linux_machine {

// What a signal from the route's service means to this process.
struct RouteSignal {
    enum class Kind {
        Nothing,
        Ours,           // the service announces a value this process sent
        PersonChanged,  // someone other than this process changed the built-in display
        Dimmed,         // the desktop dimmed the panel for the person's absence
        LookAgain,      // the service's offer changed: find the route again
    };
    Kind kind = Kind::Nothing;
    std::optional<double> brightness;  // with PersonChanged and Dimmed, what the panel shows now
};

// Where a value sent through a route lands on the panel's backlight: its raw
// value, within `slack` raw steps either way.
struct PanelLanding {
    long long raw = 0;
    long long slack = 0;
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

    // True when the service announces every change of the panel with its
    // value: then a person's change is known from the announcement alone,
    // and the backlight file (which the desktop may animate or dim on its
    // own) is never taken for one.
    virtual bool announcesChanges() const = 0;
    // Where a value sent lands on the attached panel: a map of its own, so
    // that the main thread judges readings while this thread goes on.
    using LandingMap = std::function<PanelLanding(double sent)>;
    virtual LandingMap landingMap() const = 0;
    // The shortest time between two values sent that the service takes as
    // they come; values handed faster make way for the newest, and the last
    // one is always sent.
    virtual std::chrono::milliseconds pace() const { return std::chrono::milliseconds(0); }
};

// The routes in the order they are tried.
std::unique_ptr<DesktopBrightnessRoute> makePlasmaScreenBrightnessRoute();
std::unique_ptr<DesktopBrightnessRoute> makePlasmaPowerManagementRoute();
std::unique_ptr<DesktopBrightnessRoute> makeMutterBacklightRoute();
std::unique_ptr<DesktopBrightnessRoute> makeGnomeSettingsDaemonRoute();

// A fraction as a whole value of 0..maximum.
int scaledTo(double brightness, int maximum);

// What powerdevil's idle dim sets, in its own units, from the brightness
// before: qRound(0.3 × before) (KDE/powerdevil
// daemon/actions/bundled/dimdisplay.cpp, onIdleTimeout, v5.27.11 and v6.2.0).
inline int powerdevilIdleDim(int before) {
    return static_cast<int>(before * 0.3 + 0.5);  // Qt's qRound of a value that is not negative
}

}  // namespace platform::linux_machine
