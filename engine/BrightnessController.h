// The brightness engine: the curve, transitions, the built-in display, USB
// monitors and their watcher, and the monitors driven over DDC/CI.
//
// One engine per process, reached through sharedInstance() and never torn
// down. Everything runs on the main thread; the USB monitor watcher's
// callbacks arrive on its run loop in the default mode.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "Foundation/NSObject.h"
#include "IOKit/hid/IOHIDDevice.h"
#include "IOKit/hid/IOHIDManager.h"
#include "base/CGTypes.h"
#include "base/IOKitTypes.h"
#include "base/PropertyList.h"
#include "engine/ForeignBrightnessChange.h"
#include "engine/MonitorBrightnessField.h"

namespace duolume {
class DdcMonitors;
}

class BrightnessController : public NSObject {
  public:
    // The one engine of the process, created on the first call (which also
    // starts the USB monitor watcher).
    static BrightnessController* sharedInstance();

    // The initialiser: refuses to run once the shared instance exists
    // (NSInternalInconsistencyException), raises "BrightnessControllerInitFailed"
    // when the base initialisation fails, creates the empty monitor set and
    // starts the USB monitor watcher. Outside sharedInstance() only tests
    // construct engines of their own.
    BrightnessController();
    ~BrightnessController();
    BrightnessController(const BrightnessController&) = delete;
    BrightnessController& operator=(const BrightnessController&) = delete;

    // Sync request: the curve at the live ambient light level, from one read
    // of the settings.
    void updateDisplayBrightness(bool smooth);
    // The curve at `level`, handed to the transition.
    void updateDisplayBrightnessForAmbientLight(double level, bool smooth);
    // Moves the built-in display to `internal` and the other display to
    // `external`, at once or in a one-second fade.
    void setBrightnessForInternalDisplay(double internal, double external, bool smooth);

    // Moves each display that has a target (the built-in one to `internal`,
    // the other to `external`) as setBrightnessForInternalDisplay does; a
    // display without one is neither read nor written.
    void moveDisplays(std::optional<double> internal, std::optional<double> external, bool smooth);

    // What someone other than the engine did to the displays since it last
    // wrote them: the brightness each kind shows now, where that last write
    // does not explain it (a panel within its cell's rounding, a USB
    // monitor's field exactly, a DDC/CI monitor's whole number). Reads them.
    struct ChangedByOthers {
        std::optional<double> builtin;
        std::optional<double> monitors;
    };
    ChangedByOthers changesByOthers();
    // `handler` runs on the main run loop when the platform tells of the
    // built-in display being changed by someone else (the desktop's keys or
    // slider, a firmware hotkey), sooner than the next sync would notice.
    // False when the platform cannot tell.
    bool observeChangesByOthers(std::function<void()> handler);

    // Where an attached monitor goes: by default a smoothed sync request (the
    // watcher's own rule); a process that decides when displays are written
    // (the agent) answers it itself.
    void setAttachHandler(std::function<void()> handler) { attachHandler_ = std::move(handler); }

    // The monitors' own ambient light sensors, switched off while taken over
    // (also on monitors attached later) and put back as they were when not.
    void takeOverMonitorLightSensors(bool takenOver);
    // Lets go of every monitor's device until its next read or write.
    void closeMonitors();
    // `done` runs on the main queue once the DDC/CI monitors have sent what
    // they were asked before (their own light sensors put back, for one).
    void afterMonitorExchanges(std::function<void()> done);

    // A fade is 100 steps; a display whose step would be smaller than this is
    // written once with its target instead.
    static constexpr int kFadeSteps = 100;
    static constexpr double kSmallestFadedIncrement = 0.0001;
    // Whether moving a display from `from` to `to` is worth a fade: the one
    // threshold for every caller that asks whether a change is big enough.
    static bool worthFading(double from, double to);

    // One display's brightness: the built-in display through the platform's
    // display services, any other display through the attached USB monitors.
    double getBrightness(CGDirectDisplayID display);
    void setBrightness(double brightness, CGDirectDisplayID display);
    // The display connection service whose vendor, model and serial numbers
    // equal the display's; 0 when none does.
    io_service_t IOServicePortFromCGDisplayID(CGDirectDisplayID display);

    // The USB monitor watcher and its two callback targets.
    void setupExternalMonitorDeviceRef();
    void displayAttached(IOHIDDeviceRef device);
    void displayDetached(IOHIDDeviceRef device);

    // The USB monitor watcher's HID manager; null when none could be created.
    IOHIDManagerRef monitorWatcher() const { return watcher_; }

    // The attached Apple USB monitors, by device reference (not owned).
    const std::unordered_set<IOHIDDeviceRef>& externalMonitors() const {
        return externalMonitorDeviceRefs;
    }
    // The monitors driven over DDC/CI (DdcMonitors.h), beside the USB ones.
    duolume::DdcMonitors& ddcMonitors() { return *ddcMonitors_; }
    // Whether any monitor is attached: a USB monitor, or a DDC/CI monitor
    // while `settings` let the engine drive them. Passes that switch on to
    // the DDC/CI monitors, so monitors found while it was off are asked now.
    bool hasExternalMonitors(const std::optional<NSDictionary>& settings);
    // The single-monitor rule, for the sync request and the agent alike:
    // with "singleMonitorDisabled" on, nothing is synchronised while no
    // monitor is attached (`monitorsAttached`, from hasExternalMonitors).
    static bool pausedWithoutMonitors(const std::optional<NSDictionary>& settings,
                                      bool monitorsAttached);

  private:
    // The curve's targets at `level` from these settings, handed to the
    // transition; the DDC/CI monitors were told the settings' switch before.
    void applyCurve(double level, const std::optional<NSDictionary>& settings, bool smooth);
    double getBuiltinBrightness(CGDirectDisplayID display);
    // The three routes in order; false when none could read `cell`.
    bool readBuiltinBrightness(CGDirectDisplayID display, float& cell);
    void setBuiltinBrightness(double brightness, CGDirectDisplayID display);
    double getMonitorBrightness();
    void setMonitorBrightness(double brightness);
    duolume::MonitorBrightnessField monitorField(IOHIDDeviceRef device) const;
    std::optional<double> monitorsChangedByOthers();
    void switchMonitorLightSensor(IOHIDDeviceRef device, bool off);
    // A monitor of either kind has joined: the attach handler, or a
    // smoothed sync request.
    void monitorJoined();

    std::unordered_set<IOHIDDeviceRef> externalMonitorDeviceRefs;
    // Where each attached monitor takes its brightness, found at its attach.
    std::unordered_map<IOHIDDeviceRef, duolume::MonitorBrightnessField> monitorFields_;
    // What the engine last wrote to the built-in display, to notice another writer.
    duolume::ForeignBrightnessChange builtinWrites_;
    // The raw value each monitor last took from the engine.
    std::unordered_map<IOHIDDeviceRef, std::int64_t> monitorWrites_;
    std::function<void()> attachHandler_;
    bool lightSensorsTakenOver_ = false;
    // Monitors whose own light sensor the engine switched off.
    std::unordered_set<IOHIDDeviceRef> sensorsSwitchedOff_;
    // Kept only so that an engine that goes away can silence its callbacks;
    // the shared engine never goes away.
    IOHIDManagerRef watcher_ = nullptr;
    std::unique_ptr<duolume::DdcMonitors> ddcMonitors_;
};
