// The sun's estimate as a light source of the light sources' thread: the
// place of the machine's time zone (ZonePlace.h) at once, and GeoClue's
// (GeoClueClient.h) once it is asked for (locateAs) and GeoClue locates the
// machine; the share of daylight the person says the room gets, and the
// estimate (SunEstimate.h), worked out
// again only when it would have moved a step that matters: a timer on the
// thread-default main context of the thread that calls start(), never a
// poll.
#pragma once

#include <cmath>
#include <functional>
#include <optional>
#include <string>

#include <memory>

#include "linux/foundation/OneShotTimer.h"
#include "linux/light/GeoClueClient.h"
#include "linux/light/SunEstimate.h"
#include "linux/light/ZonePlace.h"
#include "machine/HardwareFindings.h"

namespace platform::linux_machine {

class SunLight {
  public:
    // How far the estimate moves (on the ln(lux + 1) scale) before it is
    // worked out again: a tenth of a step, about 1 % of a display's range on
    // a curve over ten steps.
    static constexpr double kStep = 0.1;
    // How far ahead a change is looked for; the estimate is worked out at
    // least this often (real seconds at the daylight clock's rate).
    static constexpr double kHorizon = 6 * 3600.0;

    // `changed` runs on the thread's context whenever steps() changed, `log`
    // with a line for the journal.
    explicit SunLight(std::function<void()> changed,
                      std::function<void(const std::string&)> log = {});
    ~SunLight();
    SunLight(const SunLight&) = delete;
    SunLight& operator=(const SunLight&) = delete;

    // Finds the place and works out the first estimate (once).
    void start();
    // A new share of daylight for the room; works the estimate out again.
    void setDaylightShare(double share);
    // The clock jumped (a resume from sleep): works the estimate out again.
    void again();
    // Asks GeoClue for the place under the application's desktop file id
    // (once; empty: never); the zone's place stands until it answers.
    void locateAs(const std::string& desktopId);

    // The estimate on the ln(lux + 1) scale; absent without a place.
    std::optional<double> steps() const { return steps_; }
    bool hasPlace() const { return located_ || place_; }
    double daylightTime() const { return clock_.now(); }
    // How much faster than real time the daylight clock runs, at least 1.
    double pace() const { return std::fmax(1.0, clock_.rate()); }
    // "Berlin", "52.52 N, 13.40 E (located by GeoClue)"; empty without a place.
    std::string placeName() const;
    // "Berlin (52.50 N, 13.37 E), the place of the time zone Europe/Berlin";
    // GeoClue's place as placeName(), with GeoClue's description if any.
    std::string placeText() const;
    // The finding for a person: in use or not, and where.
    HardwareFinding finding(bool inUse) const;

  private:
    void work();
    // The place moved: the estimate again, and news of the place in any case.
    void placeChanged();
    void arm(double unixSeconds);
    void located(const LocatedPlace& place);
    void notLocated(const std::string& why);
    void locatingStopped();

    std::function<void()> changed_;
    std::function<void(const std::string&)> log_;
    DaylightClock clock_;
    bool started_ = false;
    std::optional<ZonePlace> place_;
    std::optional<LocatedPlace> located_;  // GeoClue's, before the zone's
    std::unique_ptr<GeoClueClient> geoClue_;
    std::string noPlace_;
    double share_ = 0.02;
    std::optional<double> steps_;
    OneShotTimer timer_;
};

}  // namespace platform::linux_machine
