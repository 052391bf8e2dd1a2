// The light a light source hands on: readings that stand (SteadyLight), and
// the handover between a sensor and the sun's estimate (LightHandover), on
// explicit clocks. All values on the ln(lux + 1) scale.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "linux/light/LightHandover.h"
#include "linux/light/SteadyLight.h"
#include "linux/light/SunEstimate.h"

using namespace platform::linux_machine;

namespace {

struct Reading {
    double seconds, lux;
};

// The value standing after each reading.
std::vector<double> stood(const std::vector<Reading>& readings) {
    SteadyLight steady;
    std::vector<double> out;
    for (const auto& r : readings)
        out.push_back(steady.take(lightSteps(r.lux), r.seconds));
    return out;
}

// Readings of a recorded trace, one every 0.8 s (iio-sensor-proxy 3.0 polls
// its IIO light drivers every 0.8 s, as LinuxLightSources measured).
std::vector<Reading> trace(const std::vector<double>& lux) {
    std::vector<Reading> readings;
    for (std::size_t i = 0; i < lux.size(); ++i)
        readings.push_back({0.8 * static_cast<double>(i), lux[i]});
    return readings;
}

int changes(const std::vector<double>& values) {
    int n = 0;
    for (std::size_t i = 1; i < values.size(); ++i)
        n += values[i] != values[i - 1];
    return n;
}

}  // namespace

TEST(SteadyLight, AReadingIsTakenOnlyOnceItHasStood) {
    struct Row {
        const char* what;
        std::vector<Reading> readings;
        double standsAtEnd;  // lux
    };
    const Row rows[] = {
        {"one dark reading between bright ones", {{0, 500}, {1, 0.03}, {2, 500}, {3, 500}}, 500},
        {"darker light for 4 s is not yet taken", {{0, 500}, {1, 50}, {3, 50}, {5, 50}}, 500},
        {"darker light for 5 s is", {{0, 500}, {1, 50}, {3, 50}, {6, 50}}, 50},
        {"brighter light for 2 s is", {{0, 50}, {1, 500}, {2, 500}, {3, 500}}, 500},
        {"brighter light for 1 s is not", {{0, 50}, {1, 500}, {2, 500}}, 50},
        {"a change within the band is never taken", {{0, 100}, {1, 108}, {9, 108}}, 100},
        {"a swing to the other side starts the wait again",
         {{0, 100}, {1, 500}, {2.5, 10}, {4, 500}, {5.5, 500}},
         100},
        {"the first reading stands at once", {{0, 42}}, 42},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_DOUBLE_EQ(stood(row.readings).back(), lightSteps(row.standsAtEnd));
    }
}

// Two traces recorded by owners with iio-sensor-proxy's monitor-sensor.
TEST(SteadyLight, RecordedNoisyTracesMoveNothingOrLittle) {
    // ThinkBook 13x gen 4 (github craigcabrey/thinkbook-13x-gen4-enablement
    // issue 10, 2025-03-12): dropouts to 0.03 lux between readings near 1000.
    const std::vector<double> thinkbook = {1015, 0.03, 909,  1002, 0.03, 1002, 0.03,
                                           1002, 0.03, 1002, 0.03, 1002, 898,  0.03,
                                           898,  807,  0.03, 807,  0.03, 807};
    // Yoga 720-15IKB (github hadess/iio-sensor-proxy issue 261, 2019-04-10):
    // "the screen gets darker every time I start typing" at 33 to 66 lux.
    const std::vector<double> yoga = {44, 33, 44, 55, 44, 55, 44, 33, 44,
                                      33, 44, 55, 44, 55, 66, 55, 44};
    struct Row {
        const char* what;
        std::vector<double> lux;
        int atMost;  // changes of what stands
    };
    // The ThinkBook's light does fall from about 1000 to 807 lux over the
    // trace: that one change stands; its dropouts never do.
    const Row rows[] = {{"ThinkBook dropouts", thinkbook, 1}, {"Yoga flicker", yoga, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto values = stood(trace(row.lux));
        const int raw = changes([&] {
            std::vector<double> v;
            for (double lux : row.lux)
                v.push_back(lightSteps(lux));
            return v;
        }());
        std::printf("%s: %d raw changes, %d of what stands\n", row.what, raw, changes(values));
        EXPECT_LE(changes(values), row.atMost);
        for (double v : values)
            EXPECT_GT(v, lightSteps(30.0));  // never the dropouts' darkness
    }
}

namespace {

// A handover driven second by second.
struct Drive {
    LightHandover handover;
    HandoverInputs in;
    HandoverOutput step(double seconds = 1.0) {
        in.seconds += seconds;
        in.daylightTime += seconds;
        return handover.update(in);
    }
    HandoverOutput run(double seconds) {
        HandoverOutput out;
        for (int second = 0; second < std::ceil(seconds); ++second)
            out = step();
        return out;
    }
};

}  // namespace

TEST(LightHandover, ClosingTheLidStartsTheSunFromTheSensorAndOpeningItGlidesBack) {
    Drive d;
    d.in.sun = lightSteps(2000);    // a bright afternoon's estimate
    d.in.sensor = lightSteps(300);  // a dimmer room
    d.run(10);
    ASSERT_EQ(d.handover.current().from, LightFrom::Sensor);
    const double before = *d.handover.current().steps;
    d.in.lidClosed = true;
    d.in.sensor = 0.0;  // covered
    auto out = d.step();
    EXPECT_EQ(out.from, LightFrom::Sun);
    EXPECT_EQ(out.because, SunBecause::LidClosed);
    EXPECT_NEAR(*out.steps, before, 1e-9);  // nothing jumps
    // The sun sets: the room follows it, in proportion.
    d.in.sun = lightSteps(200);
    out = d.step();
    EXPECT_NEAR(*out.steps, lightSteps(30), 1e-6);
    // The lid opens onto a room of 300 lux again: a glide, 0.2 steps a second at most.
    d.in.lidClosed = false;
    d.in.sensor = lightSteps(300);
    double last = *out.steps;
    for (int i = 0; i < 30; ++i) {
        out = d.step();
        EXPECT_EQ(out.from, LightFrom::Sensor);
        EXPECT_LE(std::fabs(*out.steps - last), LightHandover::kGlidePerSecond + 1e-9);
        last = *out.steps;
    }
    EXPECT_NEAR(last, lightSteps(300), 1e-9);
}

// Under a closed lid the light is where the sensor stood: in a lamp-lit room
// at night too, and when the sensor went dark a moment before the switch.
TEST(LightHandover, UnderAClosedLidTheLightStaysWhereTheSensorStood) {
    struct Row {
        const char* what;
        double sun, room;   // lux
        double darkBefore;  // seconds the sensor is covered before the switch
        double closedFor;   // seconds
    };
    const Row rows[] = {
        {"a lamp-lit room at night", 0.00004, 200, 0, 3600},
        {"covered 3 s before the switch", 1000, 400, 3, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Drive d;
        d.in.sun = lightSteps(row.sun);
        d.in.sensor = lightSteps(row.room);
        d.run(10);
        d.in.sensor = 0.0;
        d.run(row.darkBefore);
        d.in.lidClosed = true;
        const auto out = d.run(row.closedFor);
        EXPECT_EQ(out.from, LightFrom::Sun);
        EXPECT_NEAR(*out.steps, lightSteps(row.room), 1e-3);
    }
}

TEST(LightHandover, WhenTheSensorCannotBeTrusted) {
    struct Row {
        const char* what;
        std::optional<double> sensor;
        bool lid, panelOff, preferSun, place;
        LightFrom from;
        SunBecause because;
    };
    const double bright = lightSteps(5000), dim = lightSteps(300), dark = lightSteps(0.2);
    const Row rows[] = {
        {"a trusted sensor", dim, false, false, false, true, LightFrom::Sensor, {}},
        {"no sensor at all", std::nullopt, false, false, false, true, LightFrom::Sun,
         SunBecause::NoSensor},
        {"no sensor and no place",
         std::nullopt,
         false,
         false,
         false,
         false,
         LightFrom::Nothing,
         {}},
        {"a closed lid", dark, true, false, false, true, LightFrom::Sun, SunBecause::LidClosed},
        {"a closed lid and no place", dark, true, false, false, false, LightFrom::Held, {}},
        {"the panel off and the sensor far darker", dark, false, true, false, true, LightFrom::Sun,
         SunBecause::PanelOff},
        {"the panel off, the sensor near the estimate",
         dim,
         false,
         true,
         false,
         true,
         LightFrom::Sensor,
         {}},
        {"the sun asked for", dim, false, false, true, true, LightFrom::Sun, SunBecause::Preferred},
        {"the sun asked for without a place",
         dim,
         false,
         false,
         true,
         false,
         LightFrom::Sensor,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Drive d;
        d.in.sun = row.place ? std::optional<double>(bright) : std::nullopt;
        d.in.sensor = row.sensor ? std::optional<double>(dim) : std::nullopt;
        d.run(10);  // a room of 300 lux first, where there is a sensor
        d.in.sensor = row.sensor;
        d.in.lidClosed = row.lid;
        d.in.panelOff = row.panelOff;
        d.in.preferSun = row.preferSun;
        const auto out = d.run(60);
        EXPECT_EQ(out.from, row.from);
        if (row.from == LightFrom::Sun) {
            EXPECT_EQ(out.because, row.because);
        }
        EXPECT_EQ(out.steps.has_value(), row.from != LightFrom::Nothing);
    }
}

// One raw value for two hours: stopped while the sun rose 3.5 steps, not in
// a steady midday; a stopped sensor that moves again is read again.
TEST(LightHandover, ASensorStuckOnOneValueWhileTheSunMovesIsTakenAsStopped) {
    struct Row {
        const char* what;
        double sunRises;  // steps over the two hours
        LightFrom from;
    };
    for (const Row row :
         {Row{"dawn", 3.5, LightFrom::Sun}, Row{"midday", 0.2, LightFrom::Sensor}}) {
        SCOPED_TRACE(row.what);
        Drive d;
        d.in.sun = lightSteps(0.5);
        d.in.sensor = lightSteps(120);
        d.run(10);
        for (int minute = 0; minute < 121; ++minute) {
            d.in.sun = lightSteps(0.5) + row.sunRises * minute / 120.0;
            d.step(60.0);
        }
        EXPECT_EQ(d.handover.current().from, row.from);
        d.in.sensor = lightSteps(900);
        const auto out = d.run(120);
        EXPECT_EQ(out.from, LightFrom::Sensor);
        EXPECT_NEAR(*out.steps, lightSteps(900), 1e-9);
    }
}

TEST(LightHandover, ASensorThatGoesQuietForAMomentKeepsItsValue) {
    Drive d;
    d.in.sun = lightSteps(3000);
    d.in.sensor = lightSteps(150);
    d.run(10);
    d.in.sensor.reset();
    auto out = d.run(4);
    EXPECT_EQ(out.from, LightFrom::Sensor);
    EXPECT_NEAR(*out.steps, lightSteps(150), 1e-9);
    out = d.run(3);
    EXPECT_EQ(out.from, LightFrom::Sun);
    EXPECT_EQ(out.because, SunBecause::SensorStopped);
    EXPECT_LT(*out.steps, lightSteps(3000));  // gliding there, not jumped
}
