// One sync: what the moment allows (AgentMoments.h), who owns each display,
// and the one write.
#include <cmath>
#include <ctime>

#include "Foundation/NSLog.h"
#include "Session/Session.h"
#include "agent/BackgroundAgent.h"
#include "engine/BrightnessController.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/SettingsStore.h"

namespace duolume {
namespace {

// GNOME dims an idle screen after half its idle delay and never sooner than
// after 10 s without input (gnome-settings-daemon, gsd-power-manager.c,
// MINIMUM_IDLE_DIM_DELAY); a person's own change comes with fresh input.
constexpr double kDesktopDimsAfter = 10.0;
// A reading this far under what the display showed is a dim, not noise.
constexpr double kDimmer = 0.002;

// A display without a value was left alone.
std::string part(const char* name, const std::optional<double>& value) {
    char text[64];
    if (value)
        std::snprintf(text, sizeof text, "%s %.0f%%", name, *value * 100.0);
    else
        std::snprintf(text, sizeof text, "%s left alone", name);
    return text;
}

void logWrite(double level, const std::optional<double>& builtin,
              const std::optional<double>& monitors, const char* why, bool fading) {
    NSLog("Light level %.2f: %s, %s (%s%s)", level, part("built-in display", builtin).c_str(),
          part("USB monitors", monitors).c_str(), why, fading ? ", fading" : "");
}

}  // namespace

bool BackgroundAgent::paused() const {
    return ending_ || sessionOwner().has_value();
}

void BackgroundAgent::sync(Moment moment) {
    if (paused()) {
        publishOwners();
        return;
    }
    const MomentRules& rules = rulesOf(moment);
    const bool smooth = rules.smooth;

    const auto settings = fetchSettings();
    BrightnessController* engine = BrightnessController::sharedInstance();
    monitorsPresent_ = engine->hasExternalMonitors(settings);
    if (BrightnessController::pausedWithoutMonitors(settings, monitorsPresent_)) {
        skipped("no USB monitor is attached and \"singleMonitorDisabled\" is on");
        publishOwners();
        return;
    }
    const double level = AmbientLightSensor::sharedInstance()->getCurrentAmbientLight();
    const auto targets = curveTargetsAt(level, settings);
    if (!targets) {
        // No light known is not darkness: nothing moves until there is a level.
        skipped(level < 0.0 ? "there is no light level (no light sensor reading, and no "
                              "estimate from the sun)"
                            : "the curve is 0 on both sides of the light level");
        publishOwners();
        return;
    }
    lastSkip_.clear();
    // While the desktop's automatic brightness drives the panel (or did until
    // now), what the panel shows is the desktop's choice.
    const bool desktopDroveBuiltin = desktopDrivesBuiltin_;
    desktopDrivesBuiltin_ =
        platform::desktopAutomaticBrightness() == platform::DesktopAutomaticBrightness::On;
    if (!monitorSensorsTakenOver_) {
        engine->takeOverMonitorLightSensors(true);
        monitorSensorsTakenOver_ = true;
    }
    if (rules.learns) {
        // A change found at a light change was made in the light before it.
        const double setAt = moment == Moment::LightChanged && level_ ? *level_ : level;
        const auto changed = engine->changesByOthers();
        look(setAt, desktopDroveBuiltin || desktopDrivesBuiltin_ ? std::nullopt : changed.builtin);
        if (changed.monitors &&
            holds_.noticed(DisplayKind::Monitors, *changed.monitors, setAt, std::time(nullptr)))
            written_[1].reset();
    }
    level_ = level;
    const auto ended = holds_.endFarFrom(level);

    std::optional<double> builtin = target(DisplayKind::Builtin, targets->internal, moment);
    std::optional<double> monitors = target(DisplayKind::Monitors, targets->external, moment);
    // Noise from the sensor in steady light moves no target far enough.
    if (rules.onlyIfMoved && !ended[0] && !ended[1]) {
        auto moved = [](const std::optional<double>& to, const std::optional<double>& from) {
            return to && (!from || BrightnessController::worthFading(*from, *to));
        };
        if (!moved(builtin, written_[0]) && !moved(monitors, written_[1])) {
            publishOwners();
            return;
        }
    }
    if (builtin || monitors) {
        engine->moveDisplays(builtin, monitors, smooth || ended[0] || ended[1]);
        written_ = {builtin ? builtin : written_[0], monitors ? monitors : written_[1]};
        applied_ = targets;
        logWrite(level, builtin, monitors, rules.why, smooth || ended[0] || ended[1]);
    }
    publishOwners();
}

void BackgroundAgent::look(double level, const std::optional<double>& builtinShown) {
    if (!builtinShown) {
        desktopDim_.reset();  // it shows what was written last again
        return;
    }
    const auto& hold = holds_.held(DisplayKind::Builtin);
    const double before = hold ? hold->value : written_[0].value_or(1.0);
    const auto away = platform::secondsSinceInput();
    if (away && *away >= kDesktopDimsAfter && *builtinShown < before - kDimmer) {
        desktopDim_ = builtinShown;
        return;
    }
    desktopDim_.reset();
    if (holds_.noticed(DisplayKind::Builtin, *builtinShown, level, std::time(nullptr)))
        written_[0].reset();
}

// What `kind` is moved to: the curve's value, a held value where the moment
// puts displays back once, or nothing while someone else owns it.
std::optional<double> BackgroundAgent::target(DisplayKind kind, double curve, Moment moment) {
    const auto i = DisplayHolds::index(kind);
    if (kind == DisplayKind::Builtin && (desktopDrivesBuiltin_ || desktopDim_)) {
        written_[i].reset();
        return std::nullopt;
    }
    if (const auto& hold = holds_.held(kind)) {
        if (rulesOf(moment).putsHoldsBack)
            return hold->value;
        written_[i].reset();
        return std::nullopt;
    }
    return curve;
}

}  // namespace duolume
