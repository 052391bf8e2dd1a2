#include "agent/BackgroundAgent.h"

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSDistributedNotificationCenter.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotificationCenter.h"
#include "Session/Session.h"
#include "IOKit/hid/IOHIDManager.h"
#include "engine/BrightnessController.h"
#include "report/MachineReport.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace duolume {

BackgroundAgent::~BackgroundAgent() {
    if (observingLight_)
        NSNotificationCenter::defaultCenter().removeObserver(this);
    if (settingsObserver_ >= 0)
        NSDistributedNotificationCenter::defaultCenter().removeObserver(settingsObserver_);
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
    // engine starts its USB monitor watcher there.
    AmbientLightSensor::sharedInstance();
    BrightnessController* engine = BrightnessController::sharedInstance();
    // What it found to work with, and why anything cannot be used.
    for (const auto& line : startUpReport(IOHIDManagerCopyDevices(engine->monitorWatcher()),
                                          engine->ddcMonitors().displays()))
        NSLog("%s", line.c_str());

    NSNotificationCenter::defaultCenter().addObserver(
        this, [this](const NSNotification&) { sync(true, When::OnlyIfMoved, "light changed"); },
        AmbientLightChangedNotification, std::nullopt);
    observingLight_ = true;
    settingsObserver_ = NSDistributedNotificationCenter::defaultCenter().addObserver(
        [this](const std::string&, const std::optional<std::string>&) {
            sync(false, When::Always, "settings changed");
        },
        PrefsChangedNotification);
    platform::addWakeObserver([this] { sync(false, When::Always, "resumed from sleep"); });
    platform::addTerminationRequestObserver([](int signal) {
        NSLog("Duolume agent ends on signal %d", signal);
        CFRunLoopStop(CFRunLoopGetCurrent());
    });

    NSLog("Duolume agent started");
    sync(false, When::Always, "started");
    return Start::Running;
}

void BackgroundAgent::sync(bool smooth, When when, const char* why) {
    const auto settings = fetchSettings();
    BrightnessController* engine = BrightnessController::sharedInstance();
    if (settingsBool(settings, kSingleMonitorDisabledKey) &&
        !engine->hasExternalMonitors(settings)) {
        skipped("no USB monitor is attached and \"singleMonitorDisabled\" is on");
        return;
    }
    const double level = AmbientLightSensor::sharedInstance()->getCurrentAmbientLight();
    const auto targets = curveTargetsAt(level, settings);
    if (!targets) {
        skipped(level < 0.0 ? "the light sensor gives no level"
                            : "the curve is 0 on both sides of the light level");
        return;
    }
    lastSkip_.clear();
    // Noise from the sensor in steady light moves no target far enough.
    if (when == When::OnlyIfMoved && applied_ &&
        !BrightnessController::worthFading(applied_->internal, targets->internal) &&
        !BrightnessController::worthFading(applied_->external, targets->external))
        return;
    engine->setBrightnessForInternalDisplay(targets->internal, targets->external, smooth);
    applied_ = targets;
    NSLog("Light level %.2f: built-in display %.0f%%, USB monitors %.0f%% (%s%s)", level,
          targets->internal * 100.0, targets->external * 100.0, why, smooth ? ", fading" : "");
}

// Logged once per reason, not at every request.
void BackgroundAgent::skipped(const std::string& why) {
    if (why == lastSkip_)
        return;
    lastSkip_ = why;
    NSLog("Displays left alone: %s", why.c_str());
}

}  // namespace duolume
