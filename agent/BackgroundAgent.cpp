#include "agent/BackgroundAgent.h"

#include "Foundation/NSDistributedNotificationCenter.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotificationCenter.h"
#include "IOKit/hid/IOHIDManager.h"
#include "Session/Session.h"
#include "engine/BrightnessController.h"
#include "report/MachineReport.h"
#include "sensor/AmbientLightSensor.h"
#include "sensor/LightSourceOptions.h"
#include "settings/ProductIdentifier.h"

namespace duolume {
namespace {

// How long the desktop gets to put back its brightness once the person is
// back at an idle screen (GNOME undims at the first input).
constexpr CFTimeInterval kDesktopRestoreWait = 3.0;
// How long the agent lets the monitors put back their own light sensors
// before it ends anyway.
constexpr CFTimeInterval kLastExchangesWait = 2.0;

}  // namespace

BackgroundAgent::~BackgroundAgent() {
    *self_ = nullptr;
    if (observingLight_)
        NSNotificationCenter::defaultCenter().removeObserver(this);
    if (settingsObserver_ >= 0)
        NSDistributedNotificationCenter::defaultCenter().removeObserver(settingsObserver_);
    if (followObserver_ >= 0)
        NSDistributedNotificationCenter::defaultCenter().removeObserver(followObserver_);
    if (desktopSettingWatch_)
        platform::unwatchDesktopAutomaticBrightness(desktopSettingWatch_);
    if (desktopRestores_)
        CFRunLoopTimerInvalidate(desktopRestores_);
}

BackgroundAgent::Start BackgroundAgent::start() {
    switch (platform::claimSessionBusName(AgentBusName)) {
        case platform::SessionNameClaim::OwnedElsewhere:
            NSLog("Another Duolume agent already runs in this session (it owns %s); this one ends",
                  AgentBusName.c_str());
            return Start::AnotherAgentRuns;
        case platform::SessionNameClaim::Unavailable:
            NSLog("Cannot claim %s; carrying on without the one-agent check", AgentBusName.c_str());
            break;
        case platform::SessionNameClaim::Owned:
            break;
    }
    // The sensor announces level changes on this thread's run loop; the
    // engine starts its USB monitor watcher there. The light sources know
    // the room and whether the sun is asked for before the first reading.
    applyLightSourceSettings();
    AmbientLightSensor::sharedInstance();
    BrightnessController* engine = BrightnessController::sharedInstance();
    // What it found to work with, and why anything cannot be used.
    for (const auto& line : startUpReport(IOHIDManagerCopyDevices(engine->monitorWatcher()),
                                          engine->ddcMonitors().displays()))
        NSLog("%s", line.c_str());

    std::weak_ptr<BackgroundAgent*> weak = self_;
    auto whileAlive = [weak](Moment moment) {
        return [weak, moment] {
            if (auto self = weak.lock(); self && *self)
                (*self)->sync(moment);
        };
    };
    // A monitor that joins is written by the agent's rules, not the watcher's.
    engine->setAttachHandler(whileAlive(Moment::MonitorJoined));
    engine->observeChangesByOthers(whileAlive(Moment::ChangedByOthers));

    NSNotificationCenter::defaultCenter().addObserver(
        this, [this](const NSNotification&) { sync(Moment::LightChanged); },
        AmbientLightChangedNotification, std::nullopt);
    observingLight_ = true;
    auto& distributed = NSDistributedNotificationCenter::defaultCenter();
    settingsObserver_ = distributed.addObserver(
        [this](const std::string&, const std::optional<std::string>&) {
            holds_.endAll();
            applyLightSourceSettings();
            sync(Moment::SettingsChanged);
        },
        PrefsChangedNotification);
    followObserver_ = distributed.addObserver(
        [this](const std::string&, const std::optional<std::string>& kind) { followCurve(kind); },
        FollowCurveNotification);
    // Switched in the desktop's own settings: the panel is the desktop's, or
    // back on the curve, at once.
    desktopSettingWatch_ =
        platform::watchDesktopAutomaticBrightness(whileAlive(Moment::DesktopSettingChanged));
    session_ = platform::sessionState();
    platform::addSessionStateObserver(
        [this](const platform::SessionState& state) { sessionChanged(state); });
    platform::addWakeObserver([this] { sync(Moment::Woke); });
    platform::addTerminationRequestObserver([this](int signal) {
        NSLog("Duolume agent ends on signal %d", signal);
        end();
    });

    NSLog("Duolume agent started");
    sync(Moment::Started);
    return Start::Running;
}

void BackgroundAgent::followCurve(const std::optional<std::string>& kind) {
    const auto which = kind ? kindNamed(*kind) : std::nullopt;
    if (which)
        holds_.end(*which);
    else
        holds_.endAll();
    sync(Moment::FollowCurve);
}

void BackgroundAgent::sessionChanged(const platform::SessionState& state) {
    const platform::SessionState before = session_;
    session_ = state;
    BrightnessController* engine = BrightnessController::sharedInstance();
    if (before.active && !state.active) {
        // Another user's session is at the screen: its agent drives the
        // monitors now, and an open device would let this one's writes in.
        engine->closeMonitors();
    } else if (!before.active && state.active) {
        holds_.endAll();
        desktopDim_.reset();
        sync(Moment::ActiveAgain);
        return;
    }
    if (before.idle && !state.idle)
        waitForTheDesktop();
    publishOwners();
}

void BackgroundAgent::waitForTheDesktop() {
    if (desktopRestores_)
        CFRunLoopTimerInvalidate(desktopRestores_);
    desktopRestores_ =
        CFRunLoopTimerCreateWithHandler(nullptr, CFAbsoluteTimeGetCurrent() + kDesktopRestoreWait,
                                        0, 0, 0, [this](CFRunLoopTimerRef) {
                                            desktopRestores_.reset();
                                            desktopDim_.reset();
                                            sync(Moment::IdleEnded);
                                        });
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), desktopRestores_, kCFRunLoopDefaultMode);
}

// The monitors' own light sensors put back as they were found, then the run
// loop stops.
void BackgroundAgent::end() {
    ending_ = true;
    BrightnessController* engine = BrightnessController::sharedInstance();
    engine->takeOverMonitorLightSensors(false);
    auto stopped = std::make_shared<bool>(false);
    auto stop = [stopped] {
        if (*stopped)
            return;
        *stopped = true;
        CFRunLoopStop(CFRunLoopGetCurrent());
    };
    engine->afterMonitorExchanges(stop);
    CFRunLoopAddTimer(
        CFRunLoopGetCurrent(),
        CFRunLoopTimerCreateWithHandler(nullptr, CFAbsoluteTimeGetCurrent() + kLastExchangesWait, 0,
                                        0, 0, [stop](CFRunLoopTimerRef) { stop(); }),
        kCFRunLoopDefaultMode);
}

// Logged once per reason, not at every request.
void BackgroundAgent::skipped(const std::string& why) {
    if (why == lastSkip_)
        return;
    lastSkip_ = why;
    NSLog("Displays left alone: %s", why.c_str());
}

}  // namespace duolume
