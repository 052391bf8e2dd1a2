#include "linux/light/LightHandover.h"

#include <cmath>

#include "linux/light/SunEstimate.h"

namespace platform::linux_machine {

double LightHandover::unchangedFor(double daylightTime) const {
    return raw_ ? daylightTime - rawSince_ : 0.0;
}

std::optional<SunBecause> LightHandover::distrust(const HandoverInputs& in) {
    if (in.preferSun && in.sun)
        return SunBecause::Preferred;
    if (!in.sensor)
        return sensorSeen_ ? SunBecause::SensorStopped : SunBecause::NoSensor;
    if (in.lidClosed)
        return SunBecause::LidClosed;
    if (stopped_)
        return SunBecause::SensorStopped;
    if (in.panelOff && in.sun && *in.sensor < *in.sun - kFarDarker)
        return SunBecause::PanelOff;
    return std::nullopt;
}

double LightHandover::target(const HandoverInputs& in, SunBecause because) const {
    if (because == SunBecause::LidClosed && lamps_)
        return lightSteps(*lamps_ + daylightShare_ * luxForSteps(*in.sun));
    return *in.sun;
}

double LightHandover::glide(double to, double seconds) {
    const double elapsed = lastSeconds_ ? std::fmax(0.0, seconds - *lastSeconds_) : 0.0;
    if (!out_.steps)
        gliding_ = false;  // nothing to glide from: the first value stands
    if (!gliding_)
        return to;
    const double room = kGlidePerSecond * elapsed;
    const double from = *out_.steps;
    if (std::fabs(to - from) <= room) {
        gliding_ = false;
        return to;
    }
    return from + (to > from ? room : -room);
}

HandoverOutput LightHandover::update(const HandoverInputs& in) {
    if (in.sensor) {
        missingSince_.reset();
    } else if (out_.from == LightFrom::Sensor && !in.preferSun) {
        if (!missingSince_)
            missingSince_ = in.seconds;
        if (in.seconds - *missingSince_ < kMissingGrace) {
            lastSeconds_ = in.seconds;
            return out_;
        }
    }
    // How long the sensor's raw value has stood, against how far the sun moved.
    if (in.sensor) {
        sensorSeen_ = true;
        if (!raw_ || *raw_ != *in.sensor) {
            raw_ = in.sensor;
            rawSince_ = in.daylightTime;
            sunAtRawSince_ = in.sun;
            if (stopped_) {
                stopped_ = false;
                steady_.reset();  // what stood before it stopped is stale
            }
        }
        if (!sunAtRawSince_)
            sunAtRawSince_ = in.sun;
        if (!stopped_ && in.sun && sunAtRawSince_ && in.daylightTime - rawSince_ >= kStoppedAfter &&
            std::fabs(*in.sun - *sunAtRawSince_) >= kStoppedSunSteps)
            stopped_ = true;
    } else {
        raw_.reset();
        sunAtRawSince_.reset();
    }

    const auto because = distrust(in);
    HandoverOutput next;
    if (!because) {
        if (out_.from != LightFrom::Sensor)
            steady_.reset();  // covered or stopped until now: the last standing value is stale
        next.from = LightFrom::Sensor;
        next.steps = steady_.take(*in.sensor, in.seconds);
        lamps_.reset();
    } else if (in.sun) {
        if (*because == SunBecause::LidClosed && !lamps_ && out_.steps) {
            // The room as the displays show it at the moment the lid closed.
            const double room = luxForSteps(*out_.steps);
            const double daylight = luxForSteps(*in.sun);
            lamps_ = std::fmax(0.0, room - daylight);
            daylightShare_ = room < daylight && daylight > 0.0 ? room / daylight : 1.0;
        }
        if (*because != SunBecause::LidClosed)
            lamps_.reset();
        next.from = LightFrom::Sun;
        next.because = *because;
        next.steps = target(in, *because);
    } else if (out_.steps && *because == SunBecause::LidClosed) {
        // A covered sensor of a machine that knows no place: the light
        // before the lid closed stands. A sensor that gives nothing gives
        // nothing on.
        next.from = LightFrom::Held;
        next.steps = out_.steps;
    }

    if (next.from != out_.from || next.because != out_.because)
        gliding_ = true;
    if (next.steps)
        next.steps = glide(*next.steps, in.seconds);
    lastSeconds_ = in.seconds;
    out_ = next;
    return out_;
}

}  // namespace platform::linux_machine
