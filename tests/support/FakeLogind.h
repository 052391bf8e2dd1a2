// A stand-in for systemd-logind on a private system bus (PrivateBus
// Kind::System), served on a thread of its own. It owns org.freedesktop.login1
// and knows two sessions on seat0, as systemd's src/login/ has them:
//
// - the caller's, Id "2", at its real path /org/freedesktop/login1/session/_32
//   (the Id escaped as src/basic/bus-label.c bus_label_escape does: a digit
//   in first place becomes "_" and two hex digits), and at
//   /org/freedesktop/login1/session/auto, which logind resolves to the
//   caller's own session (logind-session-dbus.c session_object_find,
//   logind-dbus.c manager_get_session_from_creds);
// - a greeter's, Id "c1", the one at the screen while the caller's is not.
//
// Its manager object /org/freedesktop/login1 answers LidClosed.
//
// Each answers the properties Id, Seat, Active, IdleHint and IdleSinceHint,
// and announces its changes with PropertiesChanged on its real path only,
// with the new values (logind-session-dbus.c session_send_changed; the
// properties are SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE). SetBrightness
// ("backlight", name, value) writes the value to the virtual laptop's
// backlight as logind would, and is refused as method_set_brightness refuses
// it to a session without a seat or not in the foreground.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace testing_support {

class FakeLogind {
  public:
    struct Call {
        std::string subsystem;
        std::string name;
        std::uint32_t value;
    };

    static constexpr const char* kSessionPath = "/org/freedesktop/login1/session/_32";
    static constexpr const char* kGreeterPath = "/org/freedesktop/login1/session/c1";

    // `backlightClassFolder`: where SetBrightness writes (<root>/sys/class/backlight).
    // `seat`: the session's seat, "" for none (an SSH login: Active but seatless).
    explicit FakeLogind(std::string backlightClassFolder, bool sessionActive = true,
                        std::string seat = "seat0");
    ~FakeLogind();
    FakeLogind(const FakeLogind&) = delete;
    FakeLogind& operator=(const FakeLogind&) = delete;

    std::vector<Call> calls() const;
    // Refuse every SetBrightness from now on (as logind does to a caller not
    // the session's owner).
    void refuse(bool refuse) { refuse_ = refuse; }
    // A logind that hangs: no call is answered until it is let go again.
    void stall(bool stalled);

    // A switch of the seat to the caller's session (true) or to the greeter's
    // (false): the session left is announced first, then the one now at the
    // screen (src/login/logind-seat.c seat_set_active).
    void setActive(bool active);
    // The desktop's SetIdleHint: IdleHint with IdleSinceHint and
    // IdleSinceHintMonotonic (src/login/logind-session.c session_set_idle_hint).
    void setIdle(bool idle);
    // The manager's LidClosed on /org/freedesktop/login1, announced with
    // PropertiesChanged as logind does at every SW_LID event
    // (src/login/logind-button.c, button_dispatch).
    void setLidClosed(bool closed);
    // The manager's PrepareForSleep(b) on /org/freedesktop/login1
    // (src/login/logind-dbus.c send_prepare_for): true before the machine
    // sleeps, false once it has woken.
    void prepareForSleep(bool sleeping);

  private:
    void serve();
    void announce(const char* path, const char* property, bool value, bool withIdleSince);
    friend struct FakeLogindCallbacks;

    std::string backlights_;
    std::atomic<bool> active_;
    std::atomic<bool> idle_{false};
    std::atomic<bool> lidClosed_{false};
    std::atomic<std::uint64_t> idleSince_{0};           // µs of CLOCK_REALTIME, 0 never
    std::atomic<std::uint64_t> idleSinceMonotonic_{0};  // µs of CLOCK_MONOTONIC
    std::string seat_;
    std::atomic<bool> refuse_{false};
    std::mutex stallMutex_;
    std::condition_variable stallEnded_;
    bool stalled_ = false;
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    GDBusConnection* bus_ = nullptr;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
    std::mutex readyMutex_;
    bool ready_ = false;
    std::string failure_;
};

}  // namespace testing_support
