// A timer that runs its work once on the GLib context of the thread that
// started it, and never after it was stopped, started again or destroyed.
// Used from that thread only.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

typedef struct _GSource GSource;

namespace platform::linux_machine {

class OneShotTimer {
  public:
    // `fire` runs once, `after` from now; an earlier start is dropped.
    void start(std::chrono::milliseconds after, std::function<void()> fire);
    // The same in whole seconds, which GLib may move by up to a second so that
    // the process wakes less often (g_timeout_source_new_seconds).
    void startSeconds(unsigned seconds, std::function<void()> fire);
    void stop() { source_.reset(); }
    bool running() const { return source_ != nullptr; }

  private:
    struct Destroy {
        void operator()(GSource* source) const;
    };
    void attach(GSource* source, std::function<void()> fire);

    std::unique_ptr<GSource, Destroy> source_;
    std::function<void()> fire_;
};

}  // namespace platform::linux_machine
