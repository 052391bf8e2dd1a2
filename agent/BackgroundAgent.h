// The background agent: keeps the displays on the user's curve while
// synchronisation is on. One per user session.
//
// - at start: the curve applied once, at once;
// - the ambient light changed: a sync request with a fade, but only when the
//   curve's targets moved by kLightChangeThreshold or more since the last
//   one applied, so sensor noise in steady light writes nothing;
// - the settings changed (another process posted the change notification):
//   a sync request at once;
// - the machine resumed from sleep: a sync request at once;
// - SIGTERM or SIGINT: the run loop stops and the program ends.
// USB monitors coming and going are handled by the engine's own watcher.
#pragma once

#include <optional>
#include <string>

#include "agent/CurveTargets.h"

namespace duolume {

class BackgroundAgent {
  public:
    enum class Start { Running, AnotherAgentRuns };

    // Smallest change of a target brightness (a fraction of the full range)
    // that a light change brings to the displays. The engine's fade starts
    // at the same size.
    static constexpr double kLightChangeThreshold = 0.01;

    BackgroundAgent() = default;
    ~BackgroundAgent();
    BackgroundAgent(const BackgroundAgent&) = delete;
    BackgroundAgent& operator=(const BackgroundAgent&) = delete;

    // Claims the session's agent name; when another agent holds it, logs and
    // returns AnotherAgentRuns having touched nothing. Otherwise sets up the
    // sensor, the engine and the observers and applies the curve once.
    Start start();

    // The targets of the last sync request made, if any.
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
