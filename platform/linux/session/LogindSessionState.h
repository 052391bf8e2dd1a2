// The state of the user's session as systemd-logind tells it, heard on the
// system bus without the caller waiting: whether the session is the one at
// its seat's screen (its "Active"), whether the desktop says the person is
// away ("IdleHint": gnome-session sets it once its idle delay has passed, as
// the screen blanks, after gnome-settings-daemon's dim at half that delay,
// gnome-session 43.0 gsm-presence.c and gsm-manager.c; Plasma never sets it,
// nothing in powerdevil 5.27.11 or 6.7.4 daemon/ calls SetIdleHint and
// kscreenlocker sets only LockedHint), and whether the machine is going to
// sleep ("PrepareForSleep" of the manager).
//
// The session is "auto": the caller's own, or the user's display session for
// a program outside any session such as a systemd user service
// (org.freedesktop.login1(5), "auto"). Its changes are announced on its real
// object path, /org/freedesktop/login1/session/ followed by its Id escaped as
// systemd escapes object path labels (src/basic/bus-label.c, bus_label_escape:
// every character other than a letter, and a digit in first place, as "_" and
// two lower-case hex digits; "" as "_").
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "linux/bus/PropertyChangesWatch.h"
#include "machine/Machine.h"
#include "machine/SessionServices.h"

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

// "/org/freedesktop/login1/session/_32" for the session Id "2".
std::string logindSessionPath(const std::string& id);

class LogindSessionState {
  public:
    explicit LogindSessionState(Machine& machine) : machine_(machine) {}
    ~LogindSessionState();
    LogindSessionState(const LogindSessionState&) = delete;
    LogindSessionState& operator=(const LogindSessionState&) = delete;

    // The state as last heard; the first call starts listening, so the
    // state is logind's from its first answer on.
    SessionState state() {
        start();
        return state_;
    }
    // Each runs on the main run loop: at every change of the state, and when
    // the machine has woken from sleep.
    void observe(std::function<void(const SessionState&)> handler);
    void observeWake(std::function<void()> handler);

  private:
    void start();
    void connected(GDBusConnection* bus);
    void readSession(GDBusConnection* bus);
    void update(const SessionState& state);

    Machine& machine_;
    bool started_ = false;
    GDBusConnection* bus_ = nullptr;
    unsigned sleepSubscription_ = 0;
    PropertyChangesWatch sessionChanges_;
    std::string sessionPath_;
    SessionState state_;
    std::vector<std::function<void(const SessionState&)>> stateObservers_;
    std::vector<std::function<void()>> wakeObservers_;
    // Asynchronous answers hold it: null once this object is gone.
    std::shared_ptr<LogindSessionState*> alive_ = std::make_shared<LogindSessionState*>(this);
};

}  // namespace platform::linux_machine
