#include "pane/DuolumePref.h"

#include "Foundation/NSDistributedNotificationCenter.h"
#include "Session/Session.h"
#include "engine/BrightnessController.h"
#include "engine/CurveLookup.h"
#include "pane/CurvePointsThrough.h"
#include "pane/PaneStatus.h"
#include "report/MachineReport.h"
#include "sensor/AmbientLightSensor.h"
#include "sensor/LightSourceOptions.h"
#include "settings/AgentInstallation.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

using namespace duolume;

const std::array<DuolumePref::SliderField, 11> DuolumePref::kInternalSliders = {
    &DuolumePref::internal0, &DuolumePref::internal1, &DuolumePref::internal2,
    &DuolumePref::internal3, &DuolumePref::internal4, &DuolumePref::internal5,
    &DuolumePref::internal6, &DuolumePref::internal7, &DuolumePref::internal8,
    &DuolumePref::internal9, &DuolumePref::internal10};
const std::array<DuolumePref::SliderField, 11> DuolumePref::kExternalSliders = {
    &DuolumePref::external0, &DuolumePref::external1, &DuolumePref::external2,
    &DuolumePref::external3, &DuolumePref::external4, &DuolumePref::external5,
    &DuolumePref::external6, &DuolumePref::external7, &DuolumePref::external8,
    &DuolumePref::external9, &DuolumePref::external10};

namespace {

DisplayKind kindOfButton(const NSButton& button) {
    return button.tag() == 1 ? DisplayKind::Monitors : DisplayKind::Builtin;
}

}  // namespace

DuolumePref::DuolumePref(std::shared_ptr<NSBundle> bundle) : NSPreferencePane(std::move(bundle)) {
    connectInterface();
}

DuolumePref::~DuolumePref() {
    // A pane that goes away while selected must not be called by the sensor.
    NSNotificationCenter::defaultCenter().removeObserver(this);
}

void DuolumePref::connectInterface() {
    auto& c = nibConnections();
    c.outlet("ambientLightIndicator", ambientLightIndicator);
    c.outlet("mainSwitch", mainSwitch);
    c.outlet("singleMonitorSwitch", singleMonitorSwitch);
    c.outlet("ddcMonitorsSwitch", ddcMonitorsSwitch);
    c.outlet("statusLine", statusLine);
    c.outlet("builtinHoldControls", builtinHoldControls);
    c.outlet("monitorsHoldControls", monitorsHoldControls);
    c.outlet("switchOffDesktopBrightnessButton", switchOffDesktopBrightnessButton);
    c.outlet("sunEstimateSwitch", sunEstimateSwitch);
    c.outlet("roomBrightnessControls", roomBrightnessControls);
    c.outlet("roomBrightnessSlider", roomBrightnessSlider);
    for (int level = 0; level < kCurveLevels; ++level) {
        c.outlet(curveKeyForLevel(kInternalPrefix, level), this->*kInternalSliders[level]);
        c.outlet(curveKeyForLevel(kExternalPrefix, level), this->*kExternalSliders[level]);
    }
    c.action("mainSwitchClicked:", this, &DuolumePref::mainSwitchClicked);
    c.action("singleMonitorSwitchClicked:", this, &DuolumePref::singleMonitorSwitchClicked);
    c.action("ddcMonitorsSwitchClicked:", this, &DuolumePref::ddcMonitorsSwitchClicked);
    c.action("sunEstimateSwitchClicked:", this, &DuolumePref::sunEstimateSwitchClicked);
    c.action("roomBrightnessMoved:", this, &DuolumePref::roomBrightnessMoved);
    c.action("sliderMoved:", this, &DuolumePref::sliderMoved);
    c.action("about:", this, &DuolumePref::about);
    c.action("followCurveClicked:", this, &DuolumePref::followCurveClicked);
    c.action("keepBrightnessClicked:", this, &DuolumePref::keepBrightnessClicked);
    c.action("switchOffDesktopBrightnessClicked:", this,
             &DuolumePref::switchOffDesktopBrightnessClicked);
}

void DuolumePref::mainViewDidLoad() {
    std::optional<NSDictionary> settings = fetchSettings();
    if (!settings) {
        settings = initialSettings();
        writeInitialSettings(*settings);
    }
    auto show = [&](NSControl* control, const std::string& key) {
        // A key missing from the domain shows the control's neutral state.
        if (control)
            control->setObjectValue(plistLookup(*settings, key));
    };
    show(mainSwitch, kEnabledKey);
    show(singleMonitorSwitch, kSingleMonitorDisabledKey);
    // Its key says "switched off", so a domain without it shows it on.
    if (ddcMonitorsSwitch) {
        const bool off = settingsBool(settings, kDdcMonitorsDisabledKey);
        ddcMonitorsSwitch->setObjectValue(PlistValue::integer(off ? 0 : 1));
    }
    show(sunEstimateSwitch, kSunEstimateForcedKey);
    // Its middle is an ordinary room, which a domain without the key means.
    if (roomBrightnessSlider) {
        roomBrightnessSlider->setRange(-1.0, 1.0);
        roomBrightnessSlider->setDoubleValue(settingsDouble(settings, kRoomBrightnessKey));
    }
    for (int level = 0; level < kCurveLevels; ++level) {
        show(this->*kInternalSliders[level], curveKeyForLevel(kInternalPrefix, level));
    }
    for (int level = 0; level < kCurveLevels; ++level) {
        show(this->*kExternalSliders[level], curveKeyForLevel(kExternalPrefix, level));
    }
}

void DuolumePref::willSelect() {
    NSNotificationCenter::defaultCenter().addObserver(
        this, [this](const NSNotification& n) { notifyAmbientLightChanged(n); },
        AmbientLightChangedNotification, std::nullopt);
    // The light sources know the room before the first reading.
    applyLightSourceSettings();
    showLightLevel(AmbientLightSensor::sharedInstance()->getCurrentAmbientLight());
    if (!status_)
        status_ = std::make_unique<PaneStatus>([this] { refreshStatusLine(); });
    refreshStatusLine();
}

void DuolumePref::showLightLevel(double level) {
    lightLevel_ = level;
    if (ambientLightIndicator)
        ambientLightIndicator->setDoubleValue(level);
}

StatusFacts DuolumePref::statusFacts() const {
    StatusFacts facts = status_->facts(mainSwitch && mainSwitch->boolValue(),
                                       !ddcMonitorsSwitch || ddcMonitorsSwitch->boolValue());
    facts.desktopSwitchOffFailed = desktopSwitchOffFailed_;
    return facts;
}

void DuolumePref::refreshStatusLine() {
    if (!status_)
        return;
    const StatusFacts facts = statusFacts();
    if (statusLine) {
        const NSBundle& paneBundle = bundle();
        auto texts = [&](const std::string& english) {
            return paneBundle.localizedStringForKey(english, "", "");
        };
        statusLine->setStringValue(duolume::statusLine(texts, facts));
    }
    auto showWhileHeld = [&](NSView* controls, DisplayKind kind) {
        const auto ownership = shownOwnership(facts, kind);
        if (controls)
            controls->setHidden(!ownership || ownership->owner != Owner::Person);
    };
    showWhileHeld(builtinHoldControls, DisplayKind::Builtin);
    showWhileHeld(monitorsHoldControls, DisplayKind::Monitors);
    if (switchOffDesktopBrightnessButton)
        switchOffDesktopBrightnessButton->setHidden(facts.desktopBrightness !=
                                                        platform::DesktopAutomaticBrightness::On ||
                                                    !facts.desktopBrightnessSwitchable);
    if (roomBrightnessControls)
        roomBrightnessControls->setHidden(!lightEstimateInUse());
}

void DuolumePref::willUnselect() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
}

void DuolumePref::notifyAmbientLightChanged(const NSNotification& notification) {
    showLightLevel(notification.object ? notification.object->doubleValue().value_or(0.0) : 0.0);
}

void DuolumePref::mainSwitchClicked(NSButton* sender) {
    setPrefs(sender->objectValue(), kEnabledKey);
    setupDaemon(sender->objectValue().boolValue().value_or(false));
    refreshStatusLine();
}

void DuolumePref::singleMonitorSwitchClicked(NSButton* sender) {
    setPrefs(sender->objectValue(), kSingleMonitorDisabledKey);
    refreshStatusLine();
}

void DuolumePref::ddcMonitorsSwitchClicked(NSButton* sender) {
    const bool on = sender->objectValue().boolValue().value_or(false);
    setPrefs(PlistValue::integer(on ? 0 : 1), kDdcMonitorsDisabledKey);
    refreshStatusLine();
}

void DuolumePref::sunEstimateSwitchClicked(NSButton* sender) {
    setPrefs(sender->objectValue(), kSunEstimateForcedKey);
    applyLightSourceSettings();
    refreshStatusLine();
}

void DuolumePref::roomBrightnessMoved(NSSlider* sender) {
    setPrefs(sender->objectValue(), kRoomBrightnessKey);
    applyLightSourceSettings();
}

void DuolumePref::sliderMoved(NSSlider* sender) {
    setPrefs(sender->objectValue(), curveKeyForSliderTag(sender->tag()));
    // The switch on screen decides, not the stored key: while synchronisation
    // is off the pane shows the effect of the curve itself.
    if (mainSwitch && mainSwitch->intValue() == 0) {
        BrightnessController::sharedInstance()->updateDisplayBrightness(false);
    }
}

void DuolumePref::followCurveClicked(NSButton* sender) {
    NSDistributedNotificationCenter::defaultCenter().postNotificationName(
        FollowCurveNotification, kindName(kindOfButton(*sender)));
}

void DuolumePref::keepBrightnessClicked(NSButton* sender) {
    const DisplayKind kind = kindOfButton(*sender);
    const auto held = shownOwnership(statusFacts(), kind);
    if (!held || held->owner != Owner::Person)
        return;  // the hold ended since the buttons were shown
    const double level = curveLevelIsUsable(lightLevel_) ? lightLevel_ : held->level;
    const bool builtin = kind == DisplayKind::Builtin;
    const std::string& prefix = builtin ? kInternalPrefix : kExternalPrefix;
    const auto& sliders = builtin ? kInternalSliders : kExternalSliders;
    for (const CurvePoint& point :
         curvePointsThrough(fetchSettings(), prefix, level, held->value)) {
        setPrefs(PlistValue::real(point.value), curveKeyForLevel(prefix, point.level));
        if (NSSlider* slider = this->*sliders[point.level])
            slider->setDoubleValue(point.value);
    }
}

void DuolumePref::switchOffDesktopBrightnessClicked(NSButton*) {
    // The desktop's answer is waited for (dconf storing GNOME's key, KWin
    // applying Plasma's): not on the window's thread.
    if (!desktopQueue_)
        desktopQueue_ = dispatch_queue_create("Desktop brightness setting", DISPATCH_QUEUE_SERIAL);
    std::weak_ptr<DuolumePref*> pane = self_;
    dispatch_async(desktopQueue_, [pane] {
        const bool done = platform::switchOffDesktopAutomaticBrightness();
        dispatch_async(dispatch_get_main_queue(), [pane, done] {
            if (auto self = pane.lock())
                (*self)->desktopBrightnessSwitchedOff(done);
        });
    });
}

// No setting of this program changed, so no notice of one goes out (it would
// end every hold, the monitors' too): the agent watches the desktop's own
// setting and takes the built-in display back when it goes off.
void DuolumePref::desktopBrightnessSwitchedOff(bool done) {
    desktopSwitchOffFailed_ = !done;
    refreshStatusLine();
}

void DuolumePref::setPrefs(const PlistValue& prefs, const std::string& key) {
    setPrefsForKey(prefs, key);
}

void DuolumePref::setupDaemon(bool enabled) {
    duolume::setupDaemon(bundle(), enabled);
}
