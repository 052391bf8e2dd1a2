#include "pane/PaneStatus.h"

#include "CoreFoundation/CFRunLoop.h"
#include "Session/Session.h"
#include "engine/AppleMonitorProducts.h"
#include "machine/LightEstimate.h"
#include "machine/MachineTexts.h"
#include "settings/ProductIdentifier.h"

PaneStatus::PaneStatus(std::function<void()> changed) : changed_(std::move(changed)) {
    monitors_ = IOHIDManagerCreate(kCFAllocatorDefault, kIOHIDOptionsTypeNone);
    if (monitors_) {
        IOHIDManagerSetDeviceMatchingMultiple(monitors_, duolume::appleMonitorMatchingList());
        IOHIDManagerRegisterDeviceMatchingCallback(monitors_, monitorChanged, this);
        IOHIDManagerRegisterDeviceRemovalCallback(monitors_, monitorChanged, this);
        IOHIDManagerScheduleWithRunLoop(monitors_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
        IOHIDManagerOpen(monitors_, kIOHIDOptionsTypeNone);
    }
    displays_ = std::make_unique<duolume::DdcMonitors>(nullptr);  // never driven from here
    displays_->onChange([this] { changed_(); });
    agentWatch_ = platform::watchSessionBusName(duolume::AgentBusName, [this](bool held) {
        agentRunning_ = held;
        changed_();
    });
    // The switch-off button shows while the desktop's own is on.
    automaticBrightnessWatch_ = platform::watchDesktopAutomaticBrightness([this] { changed_(); });
    // The room's control shows while the light is the sun's estimate.
    lightEstimateWatch_ = platform::watchLightEstimate([this] { changed_(); });
    ownersWatch_ = platform::watchSessionValue(
        duolume::AgentBusName, duolume::OwnersKey, [this](const std::optional<std::string>& text) {
            owners_ = text ? duolume::decodeOwners(*text) : duolume::Owners{};
            changed_();
        });
}

PaneStatus::~PaneStatus() {
    platform::unwatchSessionBusName(agentWatch_);
    platform::unwatchSessionValue(ownersWatch_);
    platform::unwatchDesktopAutomaticBrightness(automaticBrightnessWatch_);
    platform::unwatchLightEstimate(lightEstimateWatch_);
    // The manager outlives this object; it must not call into it any more.
    if (monitors_) {
        IOHIDManagerRegisterDeviceMatchingCallback(monitors_, nullptr, nullptr);
        IOHIDManagerRegisterDeviceRemovalCallback(monitors_, nullptr, nullptr);
    }
}

void PaneStatus::monitorChanged(void* context, IOReturn, void*, IOHIDDeviceRef) {
    static_cast<PaneStatus*>(context)->changed_();
}

duolume::StatusFacts PaneStatus::facts(bool synchronisationOn, bool ddcMonitorsWanted) const {
    duolume::StatusFacts facts;
    facts.synchronisationOn = synchronisationOn;
    facts.agentRunning = agentRunning_;
    facts.monitors = IOHIDManagerCopyDevices(monitors_);
    facts.ddcMonitors = displays_->displays();
    facts.ddcMonitorsWanted = ddcMonitorsWanted;
    facts.owners = owners_;
    facts.desktopBrightness = platform::desktopAutomaticBrightness();
    facts.desktopBrightnessSwitchable = platform::canSwitchOffDesktopAutomaticBrightness();
    auto& machine = platform::machineTexts();
    constexpr auto wording = platform::Wording::PersonsLanguage;
    if (owners_.builtinRoute)
        facts.builtinRouteName = machine.builtinRouteName(owners_.builtinRoute->way, wording);
    facts.desktopSetting = machine.desktopAutomaticBrightnessTexts(wording);
    facts.monitorAccessFix = machine.deviceAccessFix(duolume::MonitorAccessRule, wording);
    facts.agentLogCommand = machine.backgroundJobLogCommand(duolume::ProductIdentifier, wording);
    return facts;
}
