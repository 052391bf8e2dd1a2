// What a long-running per-user program needs from the user's session besides
// the frameworks: one instance per session, a word when the machine wakes
// from sleep, the session's state (at the screen or not, idle, about to
// sleep), values it publishes for other programs of the session, and a
// polite request to end.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

enum class SessionNameClaim {
    Owned,           // this process now holds the name
    OwnedElsewhere,  // another process of the session holds it
    Unavailable,     // no session bus to hold a name on
};

// Whether the desktop steers the built-in display's brightness by the
// ambient light itself; what the setting is called and where it is switched
// off, the machine tells (MachineTexts.h).
enum class DesktopAutomaticBrightness {
    On,
    Off,
    NotInstalled,  // no such desktop setting on this machine
    // The desktop has a setting of its own that cannot be read now: Plasma
    // (6.6 and later) tells it only on its Wayland display, and there is none
    // to ask, or it has not said yet.
    CannotBeRead,
};

// The user's session as the machine's session manager sees it.
struct SessionState {
    bool active = true;     // the session is the one at the screen of its seat
    bool idle = false;      // the desktop says the person is away (GNOME: as it blanks)
    bool sleeping = false;  // the machine is going to sleep, until it has woken
    bool operator==(const SessionState&) const = default;
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
    // Whether this session may switch that setting off: false where there is
    // none to switch (NotInstalled, CannotBeRead) and where the desktop would
    // refuse (an administrator locked it, or the desktop takes no such
    // request from here). Read as the setting is, never waiting on a window's
    // thread.
    virtual bool canSwitchOffDesktopAutomaticBrightness() = 0;
    // Switches that setting off; false when it could not be, at once where
    // canSwitchOffDesktopAutomaticBrightness() says no. Otherwise waits for
    // the desktop's answer: never on a window's thread.
    virtual bool switchOffDesktopAutomaticBrightness() = 0;
    // `handler` runs on the main run loop whenever that setting may have
    // changed (the person, the desktop, or the first answer after asking).
    virtual int watchDesktopAutomaticBrightness(std::function<void()> handler) = 0;
    virtual void unwatchDesktopAutomaticBrightness(int token) = 0;

    // The session's state as last heard (active, not idle, awake until heard
    // otherwise); `handler` runs on the main run loop at every change.
    virtual SessionState sessionState() = 0;
    virtual void observeSessionState(std::function<void(const SessionState&)> handler) = 0;

    // How long the person has given the desktop no input (keys, pointer,
    // touch), when the desktop tells; may wait a quarter of a second for it,
    // and never waits on a window's thread (absent there).
    virtual std::optional<double> secondsSinceInput() = 0;

    // Publishes `value` under `key` for the other programs of the session,
    // on the bus name this process claimed (claimSessionBusName); a new value
    // replaces the old one and is announced.
    virtual void publishSessionValue(const std::string& key, const std::string& value) = 0;
    // Follows what the holder of `name` published under `key`: `handler`
    // runs on the main run loop once that is known, then at every change;
    // absent while nobody holds the name or it published nothing. Never
    // waits for the bus.
    virtual int watchSessionValue(
        const std::string& name, const std::string& key,
        std::function<void(const std::optional<std::string>& value)> handler) = 0;
    virtual void unwatchSessionValue(int token) = 0;
    // `handler` runs on the main run loop each time the machine has resumed
    // from sleep.
    virtual void observeWake(std::function<void()> handler) = 0;
    // `handler` runs on the main run loop (never inside a signal handler)
    // when the process is asked to end (SIGTERM, SIGINT); the process goes
    // on until the handler ends it.
    virtual void observeTerminationRequest(std::function<void(int signal)> handler) = 0;
};

}  // namespace platform
