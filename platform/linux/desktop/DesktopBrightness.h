// The built-in display's brightness through the desktop's own brightness
// service, where the session has one (DesktopBrightnessRoute, in the routes'
// order), so the desktop's slider, its on-screen display, its idle dimming and
// its HDR mode stay in step with what this process writes.
//
// A thread of its own does all the bus work: it connects to the session bus,
// finds the first route whose service answers, watches the routes' bus names
// to find it again when a service comes, goes or restarts, writes what it is
// handed at the pace its route takes, and hears the services' announcements.
// The caller never waits for the bus: hand() stores the value and wakes the
// thread, and values handed faster than the service takes them make way for
// the newest. Until the first look for a route has ended, values are held
// (never written behind a desktop that is about to be found); a value no route
// takes (none there, refused, no answer) comes back on the main run loop to
// the caller's own writer (logind, the backlight file), unless a newer value
// was written since. A service that refused, answered "not ready" or lacked
// what a write needs is asked again when its name changes owner and after a
// pause; a route that is new or whose service restarted gets the last value
// written, which counts as sent.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/CGTypes.h"
#include "linux/desktop/BuiltinBrightnessWay.h"

namespace platform::linux_machine {

class DesktopBrightnessRoute;

// The built-in display as the routes need it.
struct BuiltinPanel {
    CGDirectDisplayID display = 0;
    // Its DRM connector ("card0-eDP-1"), empty when unknown.
    std::string drmConnector;
    // Its backlight's max_brightness and type ("raw", "platform", "firmware").
    long long maxBrightness = 0;
    std::string backlightType;
};

class DesktopBrightness {
  public:
    // Writes a value that no desktop route took; on the main thread.
    using Fallback = std::function<void(double brightness)>;
    // Someone other than this process changed the display, to the value the
    // desktop announced where it said one; from the thread.
    using PersonChanged = std::function<void(CGDirectDisplayID, std::optional<double>)>;

    DesktopBrightness(Fallback fallback, PersonChanged personChanged);
    // For tests: other routes than the desktops'.
    DesktopBrightness(Fallback fallback, PersonChanged personChanged,
                      std::vector<std::unique_ptr<DesktopBrightnessRoute>> routes);
    // Writes what was handed last, and ends the thread.
    ~DesktopBrightness();
    DesktopBrightness(const DesktopBrightness&) = delete;
    DesktopBrightness& operator=(const DesktopBrightness&) = delete;

    // Starts looking for a route for `panel`; later calls do nothing.
    void start(const BuiltinPanel& panel);
    bool started() const { return thread_.joinable(); }
    // Waits at most `limit` for the first look to end; true once it has.
    bool waitUntilLooked(std::chrono::milliseconds limit) const;

    // This process writes `brightness` to the built-in display. True when a
    // desktop route takes it, or it is held until the first look has ended;
    // false when the caller must write it itself.
    bool hand(double brightness);

    // While a route whose service announces every change drives the panel:
    // what the panel shows by the service's word, which is the last value
    // handed unless an announcement of someone else's change came since.
    std::optional<double> announced() const;
    // The last value handed, when the backlight holding `raw` is where the
    // desktop that took it put it (or one handed just before, still under
    // way); absent when the last value did not go through a desktop.
    std::optional<double> explainedBy(long long raw) const;
    // The desktop route in use (way None when none is), and why.
    BuiltinBrightnessRoute route() const;
    // True while a route drives the panel whose service does not announce
    // the changes of others: the backlight's own change events tell of them.
    bool backlightTellsOfOthers() const;

  private:
    struct Core;
    std::shared_ptr<Core> core_;
    std::thread thread_;
};

}  // namespace platform::linux_machine
