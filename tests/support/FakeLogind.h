// A stand-in for systemd-logind on a private system bus (PrivateBus
// Kind::System): it owns org.freedesktop.login1 and serves the caller's
// session at /org/freedesktop/login1/session/auto with the properties "Active"
// and "Seat" and SetBrightness("backlight", name, value), which writes the
// value to the virtual laptop's backlight as logind would, and refuses it as
// logind does to a session without a seat or not in the foreground. Served on
// a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

    // `backlightClassFolder`: where SetBrightness writes (<root>/sys/class/backlight).
    // `seat`: the session's seat, "" for none (an SSH login: Active but seatless).
    explicit FakeLogind(std::string backlightClassFolder, bool sessionActive = true,
                        std::string seat = "seat0");
    ~FakeLogind();
    FakeLogind(const FakeLogind&) = delete;
    FakeLogind& operator=(const FakeLogind&) = delete;

    std::vector<Call> calls() const;
    // Refuse every SetBrightness from now on (as logind does for an inactive session).
    void refuse(bool refuse) { refuse_ = refuse; }

  private:
    void serve();
    friend struct FakeLogindCallbacks;

    std::string backlights_;
    bool active_;
    std::string seat_;
    std::atomic<bool> refuse_{false};
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
    std::mutex readyMutex_;
    bool ready_ = false;
    std::string failure_;
};

}  // namespace testing_support
