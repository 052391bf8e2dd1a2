// The Duolume preference pane: the main switch (synchronisation by the
// background agent), the single-monitor switch, the switch for monitors on
// DDC/CI, the brightness curve as 22
// sliders (built-in display and external monitors, one per ambient light
// level 0 to 10), the live ambient light level, the about panel and the
// hardware notice.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "AppKit/NSButton.h"
#include "AppKit/NSLevelIndicator.h"
#include "AppKit/NSPreferencePane.h"
#include "AppKit/NSSlider.h"
#include "AppKit/NSTextField.h"
#include "Foundation/NSNotificationCenter.h"

class PaneStatus;

class DuolumePref : public NSPreferencePane {
  public:
    explicit DuolumePref(std::shared_ptr<NSBundle> bundle);
    ~DuolumePref() override;

    // Lifecycle, called by the host.
    void mainViewDidLoad() override;
    void willSelect() override;
    void didSelect() override;
    void willUnselect() override;

    // Actions of the controls.
    void mainSwitchClicked(NSButton* sender);
    void singleMonitorSwitchClicked(NSButton* sender);
    void ddcMonitorsSwitchClicked(NSButton* sender);
    void sliderMoved(NSSlider* sender);
    void about(NSControl* sender);
    void notifyAmbientLightChanged(const NSNotification& notification);

    // The one write path of the settings, and the agent switch.
    void setPrefs(const PlistValue& prefs, const std::string& key);
    void setupDaemon(bool enabled);

    // Controls, connected by the interface resource.
    NSLevelIndicator* ambientLightIndicator = nullptr;
    NSButton* mainSwitch = nullptr;
    NSButton* singleMonitorSwitch = nullptr;
    // "Also drive other monitors (DDC/CI)": on unless the person switched it off.
    NSButton* ddcMonitorsSwitch = nullptr;
    NSSlider* internal0 = nullptr;
    NSSlider* internal1 = nullptr;
    NSSlider* internal2 = nullptr;
    NSSlider* internal3 = nullptr;
    NSSlider* internal4 = nullptr;
    NSSlider* internal5 = nullptr;
    NSSlider* internal6 = nullptr;
    NSSlider* internal7 = nullptr;
    NSSlider* internal8 = nullptr;
    NSSlider* internal9 = nullptr;
    NSSlider* internal10 = nullptr;
    NSSlider* external0 = nullptr;
    NSSlider* external1 = nullptr;
    NSSlider* external2 = nullptr;
    NSSlider* external3 = nullptr;
    NSSlider* external4 = nullptr;
    NSSlider* external5 = nullptr;
    NSSlider* external6 = nullptr;
    NSSlider* external7 = nullptr;
    NSSlider* external8 = nullptr;
    NSSlider* external9 = nullptr;
    NSSlider* external10 = nullptr;
    // A read-only line under the indicator: what the pane found (sensor,
    // agent, USB monitors), refreshed at selection, when a switch changes and
    // when a monitor or the agent comes or goes. Not a setting.
    NSTextField* statusLine = nullptr;

    // The slider fields of each curve, by level.
    using SliderField = NSSlider* DuolumePref::*;
    static const std::array<SliderField, 11> kInternalSliders;
    static const std::array<SliderField, 11> kExternalSliders;

  private:
    void connectInterface();
    void refreshStatusLine();

    std::unique_ptr<PaneStatus> status_;
};
