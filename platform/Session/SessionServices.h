// What a long-running per-user program needs from the user's session besides
// the frameworks: one instance per session, a word when the machine wakes
// from sleep, and a polite request to end.
#pragma once

#include <functional>
#include <string>

namespace platform {

enum class SessionNameClaim {
    Owned,           // this process now holds the name
    OwnedElsewhere,  // another process of the session holds it
    Unavailable,     // no session bus to hold a name on
};

// Whether the desktop steers the built-in display's brightness by the
// ambient light itself (GNOME's automatic screen brightness, Plasma's
// automatic brightness of a display).
enum class DesktopAutomaticBrightness {
    On,
    Off,
    NotInstalled,  // no such desktop setting on this machine
    // The desktop has a setting of its own that cannot be read from here:
    // Plasma (6.6 and later) tells it only to programs on its Wayland display.
    CannotBeRead,
};

class SessionServices {
  public:
    virtual ~SessionServices() = default;
    // Claims `name` on the user's session bus for the rest of the process's
    // life, without queueing behind another owner.
    virtual SessionNameClaim claimSessionBusName(const std::string& name) = 0;
    // Tells `handler`, on the main run loop, whether some process of the
    // session holds `name`: once as soon as that is known, then at every
    // change (false without a session bus). Never waits for the bus.
    virtual int watchSessionBusName(const std::string& name,
                                    std::function<void(bool held)> handler) = 0;
    virtual void unwatchSessionBusName(int token) = 0;
    // The desktop's own automatic brightness setting, read afresh.
    virtual DesktopAutomaticBrightness desktopAutomaticBrightness() = 0;
    // `handler` runs on the main run loop each time the machine has resumed
    // from sleep.
    virtual void observeWake(std::function<void()> handler) = 0;
    // `handler` runs on the main run loop (never inside a signal handler)
    // when the process is asked to end (SIGTERM, SIGINT); the process goes
    // on until the handler ends it.
    virtual void observeTerminationRequest(std::function<void(int signal)> handler) = 0;
};

}  // namespace platform
