#include "linux/light/SunLight.h"

#include <glib.h>

#include <cmath>
#include <cstdio>

namespace platform::linux_machine {

namespace {

std::string coordinates(double latitude, double longitude) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %s, %.2f %s", std::fabs(latitude),
                  latitude < 0 ? "S" : "N", std::fabs(longitude), longitude < 0 ? "W" : "E");
    return text;
}

}  // namespace

SunLight::SunLight(std::function<void()> changed, std::function<void(const std::string&)> log)
    : changed_(std::move(changed)), log_(std::move(log)) {}

SunLight::~SunLight() = default;

void SunLight::start() {
    if (started_)
        return;
    started_ = true;
    const MachinePlace found = machineZonePlace();
    place_ = found.place;
    noPlace_ = found.why;
    work();
}

void SunLight::setDaylightShare(double share) {
    if (!(share > 0.0) || share == share_)
        return;
    share_ = share;
    if (started_)
        work();
}

void SunLight::again() {
    if (started_)
        work();
}

void SunLight::locateAs(const std::string& desktopId) {
    if (desktopId.empty() || geoClue_)
        return;
    geoClue_ = std::make_unique<GeoClueClient>(
        desktopId, [this](const LocatedPlace& place) { located(place); },
        [this](const std::string& why) { notLocated(why); }, [this] { locatingStopped(); });
    geoClue_->start();
}

void SunLight::located(const LocatedPlace& place) {
    if (located_ && located_->latitude == place.latitude &&
        located_->longitude == place.longitude && located_->description == place.description)
        return;
    located_ = place;
    if (log_)
        log_("Place of the sun's estimate: " + placeText());
    placeChanged();
}

void SunLight::notLocated(const std::string& why) {
    if (!log_)
        return;
    if (place_)
        log_("Place of the sun's estimate: " + why + "; it stays " + placeText());
    else
        log_("Place of the sun's estimate: " + why + ", and " + noPlace_);
}

// Location services were switched off: GeoClue's place is not kept.
void SunLight::locatingStopped() {
    if (!located_)
        return;
    located_.reset();
    if (log_)
        log_(place_
                 ? "Place of the sun's estimate: GeoClue stopped locating this machine; back to " +
                       placeText()
                 : "Place of the sun's estimate: GeoClue stopped locating this machine, and " +
                       noPlace_);
    placeChanged();
}

void SunLight::placeChanged() {
    if (!started_)
        return;
    const auto before = steps_;
    work();
    // The place's name changed even where the light did not.
    if (steps_ == before && changed_)
        changed_();
}

void SunLight::work() {
    if (!hasPlace()) {
        const bool had = steps_.has_value();
        steps_.reset();
        if (had && changed_)
            changed_();
        return;
    }
    const SunEstimateInputs inputs =
        located_ ? SunEstimateInputs{located_->latitude, located_->longitude, share_}
                 : SunEstimateInputs{place_->latitude, place_->longitude, share_};
    const double now = clock_.now();
    const double steps = lightSteps(estimatedRoomLux(inputs, now));
    const bool changed = steps_ != steps;
    steps_ = steps;
    arm(nextChange(inputs, now, kStep, kHorizon).value_or(now + kHorizon));
    if (changed && changed_)
        changed_();
}

void SunLight::arm(double unixSeconds) {
    // At least a second apart, whatever the daylight clock's rate.
    const double wait = std::fmax(1.0, clock_.realSecondsUntil(unixSeconds));
    timer_.start(std::chrono::milliseconds(static_cast<guint>(std::fmin(wait, 86400.0) * 1000.0)),
                 [this] { work(); });
}

std::string SunLight::placeName() const {
    if (located_)
        return coordinates(located_->latitude, located_->longitude) + " (located by GeoClue)";
    return place_ ? place_->city : std::string();
}

std::string SunLight::placeText() const {
    if (located_ && !located_->description.empty())
        return placeName() + ", " + located_->description;
    if (located_)
        return placeName();
    if (!place_)
        return {};
    char text[160];
    std::snprintf(text, sizeof text, "%s (%.2f %s, %.2f %s), the place of the time zone %s",
                  place_->city.c_str(), std::fabs(place_->latitude),
                  place_->latitude < 0 ? "S" : "N", std::fabs(place_->longitude),
                  place_->longitude < 0 ? "W" : "E", place_->zone.c_str());
    return text;
}

HardwareFinding SunLight::finding(bool inUse) const {
    if (!hasPlace())
        return {"the sun", FindingReason::NotPresent, "no place for an estimate: " + noPlace_};
    char share[48];
    std::snprintf(share, sizeof share, "%g %% of the daylight outdoors", share_ * 100.0);
    return {"the sun", inUse ? FindingReason::InUse : FindingReason::SetAside,
            "estimated at " + placeText() + ", " + share};
}

}  // namespace platform::linux_machine
