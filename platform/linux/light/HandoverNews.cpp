#include "linux/light/HandoverNews.h"

namespace platform::linux_machine {
namespace {

std::string intoSun(SunBecause because, const HandoverNewsFacts& f) {
    const std::string estimated = "the light is estimated from the sun at " + f.place;
    switch (because) {
        case SunBecause::NoSensor:
            return "Light: estimated from the sun at " + f.place +
                   ", as no light sensor gives a reading";
        case SunBecause::LidClosed:
            return "The lid is closed and covers the light sensor: " + estimated +
                   ", starting from where the sensor stood";
        case SunBecause::PanelOff:
            return "The built-in panel is switched off and its light sensor reads far darker "
                   "than the sun's estimate: taken as covered; " +
                   estimated;
        case SunBecause::SensorStopped:
            if (f.sensorReading)
                return "Ambient light sensor: " + f.sensor +
                       " has kept one reading for 2 hours while the sun's estimate changed "
                       "20-fold: taken as stopped; " +
                       estimated + " until the sensor moves again";
            return "Ambient light sensor: " + f.sensor + " gives no reading: " + estimated +
                   " until it answers again";
        case SunBecause::Preferred:
            return "Light: estimated from the sun at " + f.place +
                   ", as asked, although a light sensor works";
    }
    return {};
}

}  // namespace

std::optional<std::string> handoverNews(const HandoverOutput& before, const HandoverOutput& after,
                                        const HandoverNewsFacts& facts) {
    if (before.from == after.from &&
        (after.from != LightFrom::Sun || before.because == after.because))
        return std::nullopt;
    switch (after.from) {
        case LightFrom::Sun:
            return intoSun(after.because, facts);
        case LightFrom::Sensor:
            if (before.from != LightFrom::Sun && before.from != LightFrom::Held)
                return std::nullopt;  // the first reading: the source's own line says it
            if (before.from == LightFrom::Sun && before.because == SunBecause::LidClosed)
                return "The lid is open: the light is read from " + facts.sensor +
                       " again, gliding there from the sun's estimate";
            return "Light: read from " + facts.sensor + " again";
        case LightFrom::Held:
            return std::string(
                "No light sensor reading and no place for the sun's estimate: the last light "
                "level stands");
        case LightFrom::Nothing:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace platform::linux_machine
