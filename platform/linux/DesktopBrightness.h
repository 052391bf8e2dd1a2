// The built-in display's brightness through the desktop's own brightness
// service, where the session has one (DesktopBrightnessRoute, in the routes'
// order), so the desktop's slider, its on-screen display, its idle dimming and
// its HDR mode stay in step with what this process writes.
//
// A thread of its own does all the bus work: it connects to the session bus,
// finds the first route whose service answers, watches the routes' bus names
// to find it again when a service comes, goes or restarts, writes what it is
// handed, and hears the services' reports of a person's change. The caller
// never waits for the bus: hand() stores the value and wakes the thread, and
// values handed faster than the service answers make way for the newest. A
// value the route does not take (refused, no answer) comes back on the main
// run loop to the caller's own writer (logind, the backlight file), unless a
// newer value was written since; the route is tried again when its service
// answers again (its name gets an owner, or after a pause), and a route that
// is new or whose service restarted gets the last value written.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CoreGraphics/CGTypes.h"
#include "DisplayServices/BuiltinBrightnessRoute.h"

namespace platform::linux_machine {

class DesktopBrightnessRoute;

// The built-in display as the routes need it.
struct BuiltinPanel {
    CGDirectDisplayID display = 0;
    // Its DRM connector ("card0-eDP-1"), empty when unknown.
    std::string drmConnector;
};

class DesktopBrightness {
  public:
    // Writes a value that no desktop route took; on the main thread.
    using Fallback = std::function<void(double brightness)>;
    // Someone other than this process changed the display; from the thread.
    using PersonChanged = std::function<void(CGDirectDisplayID, std::optional<double>)>;

    DesktopBrightness(Fallback fallback, PersonChanged personChanged);
    // For tests: other routes than the desktops'.
    DesktopBrightness(Fallback fallback, PersonChanged personChanged,
                      std::vector<std::unique_ptr<DesktopBrightnessRoute>> routes);
    // Hands the display back to the desktop where a target was written, and
    // ends the thread.
    ~DesktopBrightness();
    DesktopBrightness(const DesktopBrightness&) = delete;
    DesktopBrightness& operator=(const DesktopBrightness&) = delete;

    // Starts looking for a route for `panel`; later calls do nothing.
    void start(const BuiltinPanel& panel);
    bool started() const { return thread_.joinable(); }

    // This process writes `brightness` to the built-in display. True when a
    // desktop route takes it; false when the caller must write it itself.
    bool hand(double brightness);
    // While a route that takes a target drives the display: the last target
    // handed, which is what this process's writes are measured against.
    std::optional<double> targetInEffect() const;
    // The desktop route in use (way None when none is), and why.
    BuiltinBrightnessRoute route() const;

  private:
    struct Core;
    std::shared_ptr<Core> core_;
    std::thread thread_;
};

}  // namespace platform::linux_machine
