// The background agent: keeps the displays on the user's curve while
// synchronisation is on. One per user session.
//
// - at start: the curve applied once, at once;
// - the ambient light changed: a fade to the curve's targets, but only when
//   they moved far enough to be worth a fade since the last ones applied
//   (the engine's one threshold), so sensor noise in steady light writes
//   nothing;
// - the settings changed (another process posted the change notification):
//   the targets applied at once;
// - the machine resumed from sleep: the targets applied at once;
// - SIGTERM or SIGINT: the run loop stops and the program ends.
// USB monitors coming and going are handled by the engine's own watcher.
//
// Each sync decides once: one read of the settings and of the level, one
// look-up of the targets, which are logged and handed to the engine as they
// are.
#pragma once

#include <optional>
#include <string>

#include "engine/CurveLookup.h"

namespace duolume {

class BackgroundAgent {
  public:
    enum class Start { Running, AnotherAgentRuns };

    BackgroundAgent() = default;
    ~BackgroundAgent();
    BackgroundAgent(const BackgroundAgent&) = delete;
    BackgroundAgent& operator=(const BackgroundAgent&) = delete;

    // Claims the session's agent name; when another agent holds it, logs and
    // returns AnotherAgentRuns having touched nothing. Otherwise sets up the
    // sensor, the engine and the observers and applies the curve once.
    Start start();

    // The targets last applied, if any.
    const std::optional<CurveTargets>& lastApplied() const { return applied_; }

  private:
    enum class When { Always, OnlyIfMoved };
    void sync(bool smooth, When when, const char* why);
    void skipped(const std::string& why);

    std::optional<CurveTargets> applied_;
    std::string lastSkip_;
    int settingsObserver_ = -1;
    bool observingLight_ = false;
};

}  // namespace duolume
