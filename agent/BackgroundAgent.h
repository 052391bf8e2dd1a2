// The background agent: keeps the displays on the user's curve while
// synchronisation is on, and never fights anyone else over them. One per
// user session.
//
// When it writes:
// - at start: the curve applied once, at once;
// - the ambient light changed: a fade to the curve's targets, but only when
//   they moved far enough to be worth a fade since the last ones applied
//   (the engine's one threshold), so sensor noise in steady light writes
//   nothing;
// - the settings changed (another process posted the change notification):
//   every hold ends and the targets are applied at once;
// - a monitor joined: a fade, as the engine's watcher would have done;
// - the machine woke, the person came back to an idle session: the displays
//   brought onto the curve, or to the value held, once.
//
// Who owns each kind of display (built-in, monitors) at any moment:
// - a person: a brightness someone else set (keys, the desktop's slider, a
//   monitor's own buttons) is kept until the light moves a whole level from
//   where it was set, the settings change, or the window asks to follow the
//   curve again; then the display fades back onto the curve;
// - the desktop: nothing is written while the session is idle, the machine
//   sleeps, or another user's session is at the screen (then the monitors'
//   devices are let go as well); a brightness the desktop dims an idle
//   screen to is never taken for a person's; while the desktop's own
//   automatic brightness is on, the built-in display is left to it.
// Each change of owner is logged once and published on the session bus
// (OwnersKey) for the window.
//
// Each sync decides once: one read of the settings and of the level, one
// look-up of the targets, which are logged and handed to the engine as they
// are.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "CoreFoundation/CFRunLoop.h"
#include "agent/AgentMoments.h"
#include "agent/DisplayHolds.h"
#include "engine/CurveLookup.h"
#include "machine/SessionServices.h"
#include "report/DisplayOwnership.h"

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

    // The curve's targets last applied, if any.
    const std::optional<CurveTargets>& lastApplied() const { return applied_; }
    // Who owns each kind of display, as last published.
    const Owners& owners() const { return owners_; }

  private:
    // Why a sync runs; what it may do follows from it (AgentMoments.h).
    using Moment = AgentMoment;
    void sync(Moment moment);
    // Takes what someone else did to the displays as theirs, or as the
    // desktop's dimming.
    void look(double level, const std::optional<double>& builtinShown);
    std::optional<double> target(DisplayKind kind, double curve, Moment moment);
    // Nothing is written: the agent is ending, or the session holds every display.
    bool paused() const;
    // Who holds every display while the session lets the agent write none
    // (another user at the screen, the machine asleep, the session idle or
    // just back from idle); absent while it lets it write.
    std::optional<Owner> sessionOwner() const;
    void sessionChanged(const platform::SessionState& state);
    void waitForTheDesktop();
    void followCurve(const std::optional<std::string>& kind);
    void end();
    void publishOwners();
    Ownership ownershipOf(DisplayKind kind) const;
    void skipped(const std::string& why);

    std::optional<CurveTargets> applied_;
    // What the agent last wrote to each kind; forgotten while someone else
    // owns it, so the curve is written again when it comes back.
    std::array<std::optional<double>, 2> written_;
    DisplayHolds holds_;
    // The light level of the last sync that looked at the displays.
    std::optional<double> level_;
    // The brightness the desktop dimmed the built-in display to, while it
    // shows it.
    std::optional<double> desktopDim_;
    bool desktopDrivesBuiltin_ = false;
    bool monitorsPresent_ = false;
    bool monitorSensorsTakenOver_ = false;
    bool ending_ = false;
    platform::SessionState session_;
    // The session stopped being idle; the desktop restores its brightness first.
    CFRunLoopTimerRef desktopRestores_;
    Owners owners_;
    bool ownersPublished_ = false;
    std::string lastSkip_;
    int settingsObserver_ = -1;
    int followObserver_ = -1;
    int desktopSettingWatch_ = 0;
    bool observingLight_ = false;
    // Callbacks the engine keeps call into the agent only while it lives.
    std::shared_ptr<BackgroundAgent*> self_ = std::make_shared<BackgroundAgent*>(this);
};

}  // namespace duolume
