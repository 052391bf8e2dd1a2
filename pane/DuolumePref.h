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
#include "dispatch/DispatchQueue.h"
#include "report/MachineReport.h"

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
    // The light: estimated from the sun even where a sensor works, and how
    // bright the room is against the sky outside.
    void sunEstimateSwitchClicked(NSButton* sender);
    void roomBrightnessMoved(NSSlider* sender);
    void sliderMoved(NSSlider* sender);
    void about(NSControl* sender);
    void notifyAmbientLightChanged(const NSNotification& notification);
    // While the agent holds a kind of display at a brightness set by hand
    // (the button's tag: 0 the built-in display, 1 the monitors): end the
    // hold, or move that curve through the held brightness at this light.
    void followCurveClicked(NSButton* sender);
    void keepBrightnessClicked(NSButton* sender);
    // Switches the desktop's automatic brightness off, away from the window's
    // thread, and tells the agent to look again.
    void switchOffDesktopBrightnessClicked(NSButton* sender);

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
    // Under the status line, shown only while they apply: the buttons for a
    // held built-in display, for held monitors, and the switch for the desktop's
    // automatic brightness.
    NSView* builtinHoldControls = nullptr;
    NSView* monitorsHoldControls = nullptr;
    NSButton* switchOffDesktopBrightnessButton = nullptr;
    // Under the curve: the switch for the sun's estimate, and the room's
    // brightness (-1 dim, 0 ordinary, 1 bright), shown only while the light
    // is estimated from the sun.
    NSButton* sunEstimateSwitch = nullptr;
    NSView* roomBrightnessControls = nullptr;
    NSSlider* roomBrightnessSlider = nullptr;

    // The slider fields of each curve, by level.
    using SliderField = NSSlider* DuolumePref::*;
    static const std::array<SliderField, 11> kInternalSliders;
    static const std::array<SliderField, 11> kExternalSliders;

  private:
    void connectInterface();
    void showLightLevel(double level);
    duolume::StatusFacts statusFacts() const;
    void refreshStatusLine();
    void desktopBrightnessSwitchedOff(bool done);

    std::unique_ptr<PaneStatus> status_;
    double lightLevel_ = -1.0;  // as the indicator shows it; negative: no reading
    bool desktopSwitchOffFailed_ = false;
    dispatch_queue_t desktopQueue_;
    // Lets a block that comes back to the main thread tell whether the pane
    // is still there.
    std::shared_ptr<DuolumePref*> self_ = std::make_shared<DuolumePref*>(this);
};
