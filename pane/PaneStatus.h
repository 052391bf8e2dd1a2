// What the window's status line is made of, kept up to date without waiting:
// a HID manager of the window's own for the Apple monitors, a list of the
// other external displays (never asked anything from here), and watches on
// the background agent's bus name and on who it says owns each kind of
// display, and on where the light comes from; any of them changing
// refreshes the line.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "IOKit/hid/IOHIDManager.h"
#include "report/MachineReport.h"

class PaneStatus {
  public:
    // `changed` runs on the main run loop when a monitor comes or goes, the
    // agent starts or ends, it publishes new owners, or the light's source
    // changes (a sensor, the sun's estimate).
    explicit PaneStatus(std::function<void()> changed);
    ~PaneStatus();
    PaneStatus(const PaneStatus&) = delete;
    PaneStatus& operator=(const PaneStatus&) = delete;

    duolume::StatusFacts facts(bool synchronisationOn, bool ddcMonitorsWanted) const;

  private:
    static void monitorChanged(void* context, IOReturn, void*, IOHIDDeviceRef);

    std::function<void()> changed_;
    IOHIDManagerRef monitors_ = nullptr;
    std::unique_ptr<duolume::DdcMonitors> displays_;
    int agentWatch_ = 0;
    std::optional<bool> agentRunning_;
    int ownersWatch_ = 0;
    int automaticBrightnessWatch_ = 0;
    int lightEstimateWatch_ = 0;
    duolume::Owners owners_;
};
