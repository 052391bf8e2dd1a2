#include "pane/DuolumePref.h"

#include "engine/BrightnessController.h"
#include "pane/PaneStatus.h"
#include "report/MachineReport.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/AgentInstallation.h"
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
    for (int level = 0; level < kCurveLevels; ++level) {
        c.outlet(curveKeyForLevel(kInternalPrefix, level), this->*kInternalSliders[level]);
        c.outlet(curveKeyForLevel(kExternalPrefix, level), this->*kExternalSliders[level]);
    }
    c.action("mainSwitchClicked:", this, &DuolumePref::mainSwitchClicked);
    c.action("singleMonitorSwitchClicked:", this, &DuolumePref::singleMonitorSwitchClicked);
    c.action("ddcMonitorsSwitchClicked:", this, &DuolumePref::ddcMonitorsSwitchClicked);
    c.action("sliderMoved:", this, &DuolumePref::sliderMoved);
    c.action("about:", this, &DuolumePref::about);
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
    const double level = AmbientLightSensor::sharedInstance()->getCurrentAmbientLight();
    if (ambientLightIndicator)
        ambientLightIndicator->setDoubleValue(level);
    if (!status_)
        status_ = std::make_unique<PaneStatus>([this] { refreshStatusLine(); });
    refreshStatusLine();
}

void DuolumePref::refreshStatusLine() {
    if (!statusLine || !status_)
        return;
    const NSBundle& paneBundle = bundle();
    auto texts = [&](const std::string& english) {
        return paneBundle.localizedStringForKey(english, "", "");
    };
    statusLine->setStringValue(
        duolume::statusLine(texts, status_->facts(mainSwitch && mainSwitch->boolValue(),
                                                  !ddcMonitorsSwitch ||
                                                      ddcMonitorsSwitch->boolValue())));
}

void DuolumePref::willUnselect() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
}

void DuolumePref::notifyAmbientLightChanged(const NSNotification& notification) {
    const double level =
        notification.object ? notification.object->doubleValue().value_or(0.0) : 0.0;
    if (ambientLightIndicator)
        ambientLightIndicator->setDoubleValue(level);
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

void DuolumePref::sliderMoved(NSSlider* sender) {
    setPrefs(sender->objectValue(), curveKeyForSliderTag(sender->tag()));
    // The switch on screen decides, not the stored key: while synchronisation
    // is off the pane shows the effect of the curve itself.
    if (mainSwitch && mainSwitch->intValue() == 0) {
        BrightnessController::sharedInstance()->updateDisplayBrightness(false);
    }
}

void DuolumePref::setPrefs(const PlistValue& prefs, const std::string& key) {
    setPrefsForKey(prefs, key);
}

void DuolumePref::setupDaemon(bool enabled) {
    duolume::setupDaemon(bundle(), enabled);
}
