#include "linux/SunLight.h"

#include <glib.h>

#include <cmath>
#include <cstdio>

namespace platform::linux_machine {

SunLight::SunLight(std::function<void()> changed) : changed_(std::move(changed)) {}

SunLight::~SunLight() {
    if (timer_) {
        g_source_destroy(timer_);
        g_source_unref(timer_);
    }
}

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

void SunLight::work() {
    if (!place_) {
        steps_.reset();
        return;
    }
    const SunEstimateInputs inputs{place_->latitude, place_->longitude, share_};
    const double now = clock_.now();
    const double steps = lightSteps(estimatedRoomLux(inputs, now));
    const bool changed = steps_ != steps;
    steps_ = steps;
    arm(nextChange(inputs, now, kStep, kHorizon).value_or(now + kHorizon));
    if (changed && changed_)
        changed_();
}

void SunLight::arm(double unixSeconds) {
    if (timer_) {
        g_source_destroy(timer_);
        g_source_unref(timer_);
    }
    // At least a second apart, whatever the daylight clock's rate.
    const double wait = std::fmax(1.0, clock_.realSecondsUntil(unixSeconds));
    timer_ = g_timeout_source_new(static_cast<guint>(std::fmin(wait, 86400.0) * 1000.0));
    g_source_set_callback(
        timer_,
        [](gpointer self) -> gboolean {
            auto* sun = static_cast<SunLight*>(self);
            g_source_unref(sun->timer_);
            sun->timer_ = nullptr;
            sun->work();
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(timer_, g_main_context_get_thread_default());
}

std::string SunLight::placeText() const {
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
    if (!place_)
        return {"the sun", FindingReason::NotPresent, "no place for an estimate: " + noPlace_};
    char share[48];
    std::snprintf(share, sizeof share, "%g %% of the daylight outdoors", share_ * 100.0);
    return {"the sun", inUse ? FindingReason::InUse : FindingReason::SetAside,
            "estimated at " + placeText() + ", " + share};
}

}  // namespace platform::linux_machine
