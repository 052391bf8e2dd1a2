// The monitors the engine drives over DDC/CI: every external display whose
// AV service (IOAVService.h) answers a Get VCP Feature request for its
// luminance, found and dropped as displays come and go, and asked only while
// the person lets the engine drive them. Apple displays (by their EDID) are
// never sent anything; a monitor that does not answer while its output is
// lit is logged once and asked again only when it is plugged in again; one
// whose output is off or asleep is not asked until it is lit.
//
// Everything here runs on the thread that created it, whose run loop
// delivers the arrivals and removals and whose main queue the answers.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "IOKit/IONotificationPort.h"
#include "base/PropertyList.h"
#include "engine/DdcMonitor.h"

namespace duolume {

// The person's switch "Also drive other monitors (DDC/CI)": on unless the
// settings say it was switched off.
bool ddcMonitorsWanted(const std::optional<NSDictionary>& settings);

class DdcMonitors {
  public:
    // Starts watching the external displays' AV services on the current
    // thread's run loop; `attached` runs there each time a monitor has
    // answered and joined the set while the monitors are driven.
    explicit DdcMonitors(std::function<void()> attached);
    ~DdcMonitors();
    DdcMonitors(const DdcMonitors&) = delete;
    DdcMonitors& operator=(const DdcMonitors&) = delete;

    // Whether the monitors are driven, as the settings say at each sync
    // request. Switching on asks the monitors found while it was off.
    void setDriven(bool driven);
    bool driven() const { return driven_; }

    // Driven monitors that answered.
    bool anyAttached() const;

    // Every external display found, and what became of it, for whoever
    // tells people about the machine.
    enum class State {
        Found,     // not asked yet: the monitors are not driven
        Asking,    // its answer is awaited
        Attached,  // it answered and is driven
        Silent,    // it did not answer; asked again when plugged in again
        Asleep,    // its output is off or asleep: asked once it is lit
        Apple,     // an Apple display: never sent anything
        NoEdid,    // no readable EDID: it could be an Apple display
    };
    struct Display {
        std::string name;  // from its EDID, as log lines give it
        State state;
    };
    std::vector<Display> displays() const;
    // Runs on the same run loop each time a display is found, goes, or
    // answers, for whoever shows the list.
    void onChange(std::function<void()> changed) { changed_ = std::move(changed); }
    // To every driven monitor that answered; returns at once.
    void setBrightness(double brightness);
    // What someone did on a driven monitor's own buttons since it was last
    // sent a value: the brightness it shows now, or absent.
    std::optional<double> changedByOthers();
    // The monitors' own light sensors off while `takenOver` (also those that
    // answer later), and put back as they were when not.
    void takeOverLightSensors(bool takenOver);
    // Lets go of every monitor's bus until its next exchange.
    void close();
    // `done` runs on the main queue once every monitor has sent what it was
    // asked before (a light sensor put back before the process ends).
    void afterPendingExchanges(std::function<void()> done);
    // The brightness of the last driven monitor that answered, from what was
    // last sent or read; absent when there is none.
    std::optional<double> brightness();

  private:
    struct Entry {
        State state = State::Found;
        std::string name;
        std::shared_ptr<DdcMonitor> monitor;  // none for displays never sent anything
        bool newlyAdded = false;              // plugged in after the watch began
    };
    static void servicesMatched(void* refcon, io_iterator_t iterator);
    static void servicesTerminated(void* refcon, io_iterator_t iterator);
    void found(io_service_t service, bool newlyAdded);
    void ask(io_service_t service, Entry& entry);
    void answered(io_service_t service, const std::shared_ptr<DdcMonitor>& monitor,
                  const DdcMonitor::Answer& answer);

    std::function<void()> attached_;
    std::function<void()> changed_;
    bool sensorsTakenOver_ = false;
    std::map<io_service_t, Entry> entries_;  // the external displays
    bool driven_ = false;
    bool watching_ = false;  // false while the displays present at the start are found
    IONotificationPortRef port_;
    io_iterator_t arrivals_ = 0;
    io_iterator_t removals_ = 0;
    // Answers reach this object only while it lives.
    std::shared_ptr<DdcMonitors*> self_;
};

}  // namespace duolume
