// The sun's estimate at the place GeoClue locates, on a virtual laptop in
// Berlin's time zone without a light sensor: a fake GeoClue (FakeGeoClue.h)
// on a private system bus, the daylight clock held at noon in Berlin.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "FakeGeoClue.h"
#include "linux/light/LinuxLightSensor.h"
#include "linux/light/SunEstimate.h"
#include "machine/LightEstimate.h"
#include "sensor_linux/FrozenNoon.h"
#include "support/LaptopOnLinux.h"
#include "support/LoggingLinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/Waiting.h"

using platform::LightEstimateOptions;
using platform::linux_machine::LinuxLightSensor;
using testing_support::LaptopOnLinux;
using namespace platform::linux_machine;
using testing_support::kFrozenNoon;
using testing_support::kNoon;
using testing_support::LoggingLinuxMachine;
using testing_support::PrivateBus;
using testing_support::ScopedEnv;

namespace {

const LightEstimateOptions kLocating{0.02, false, "org.duolume.Duolume"};
const FakeGeoClue::Place kReykjavik{64.15, -21.94, "Reykjavik"};
const FakeGeoClue::Place kTromso{69.65, 18.96, ""};

double luxAt(double latitude, double longitude) {
    return estimatedRoomLux({latitude, longitude, 0.02}, kNoon);
}

bool near(const std::optional<double>& lux, double expected) {
    return lux && std::fabs(*lux - expected) <= 0.01 * expected;
}

std::string placeOf(LinuxLightSensor& sensor) {
    auto estimate = sensor.serviceClientEstimate();
    return estimate ? estimate->place : std::string("(none)");
}

int placeLines(const LoggingLinuxMachine& machine) {
    return machine.count("Place of the sun's estimate");
}

}  // namespace

TEST(GeoClue, ThePlaceItLocatesIsTheSunsAndALaterOneMovesIt) {
    ASSERT_GT(
        std::fabs(luxAt(kReykjavik.latitude, kReykjavik.longitude) - luxAt(52.5, 13 + 22 / 60.0)),
        0.1 * luxAt(52.5, 13 + 22 / 60.0));
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    bed.laptop.setTimeZone("Europe/Berlin");
    ScopedEnv clock("PLATFORM_DAYLIGHT_CLOCK", kFrozenNoon);
    PrivateBus bus(PrivateBus::Kind::System);
    FakeGeoClue geoClue(bus.address());
    geoClue.locate(kReykjavik);
    auto& machine = LoggingLinuxMachine::installNew();
    {
        LinuxLightSensor sensor;
        // Nothing waits for GeoClue: the zone's place first, asked only with an id.
        EXPECT_TRUE(near(sensor.copyAmbientLightReading(), luxAt(52.5, 13 + 22 / 60.0)));
        EXPECT_EQ(placeOf(sensor), "Berlin");
        EXPECT_EQ(geoClue.starts(), 0);
        sensor.setEstimateOptions(kLocating);
        ASSERT_TRUE(testing_support::waitFor(
            [&] { return placeOf(sensor) == "64.15 N, 21.94 W (located by GeoClue)"; }, 8.0));
        EXPECT_TRUE(testing_support::waitFor(
            [&] { return near(sensor.copyAmbientLightReading(), luxAt(64.15, -21.94)); }, 8.0));
        EXPECT_EQ(geoClue.desktopId(), "org.duolume.Duolume");
        EXPECT_EQ(geoClue.accuracy(), 4u);  // GCLUE_ACCURACY_LEVEL_CITY
        EXPECT_GT(geoClue.distanceThreshold(), 0u);
        EXPECT_EQ(geoClue.starts(), 1);
        sensor.hasServiceClient();  // takes the sources' log lines
        EXPECT_TRUE(machine.logged(
            "Place of the sun's estimate: 64.15 N, 21.94 W (located by GeoClue), Reykjavik"));

        geoClue.locate(kTromso);
        EXPECT_TRUE(testing_support::waitFor(
            [&] { return placeOf(sensor) == "69.65 N, 18.96 E (located by GeoClue)"; }, 8.0));
        EXPECT_TRUE(testing_support::waitFor(
            [&] { return near(sensor.copyAmbientLightReading(), luxAt(69.65, 18.96)); }, 8.0));

        // Location services switched off: back to the zone's place; on: GeoClue's again.
        geoClue.switchLocationServices(false);
        EXPECT_TRUE(testing_support::waitFor([&] { return placeOf(sensor) == "Berlin"; }, 8.0));
        EXPECT_TRUE(testing_support::waitFor(
            [&] { return near(sensor.copyAmbientLightReading(), luxAt(52.5, 13 + 22 / 60.0)); },
            8.0));
        sensor.hasServiceClient();
        EXPECT_TRUE(
            machine.logged("Place of the sun's estimate: GeoClue stopped locating this "
                           "machine; back to Berlin (52.50 N, 13.37 E)"));
        geoClue.switchLocationServices(true);
        EXPECT_TRUE(testing_support::waitFor(
            [&] { return placeOf(sensor) == "69.65 N, 18.96 E (located by GeoClue)"; }, 8.0));
    }
    EXPECT_EQ(geoClue.stops(), 1);  // stopped as the sources end
}

// A sensor that works needs no place: GeoClue is asked only once the
// estimate is in use (here because the person asks for it).
TEST(GeoClue, IsAskedOnlyWhileTheLightIsEstimated) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    bed.laptop.setTimeZone("Europe/Berlin");
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "300\n");
    ScopedEnv clock("PLATFORM_DAYLIGHT_CLOCK", kFrozenNoon);
    PrivateBus bus(PrivateBus::Kind::System);
    FakeGeoClue geoClue(bus.address());
    geoClue.locate(kReykjavik);
    LoggingLinuxMachine::installNew();
    LinuxLightSensor sensor;
    ASSERT_EQ(sensor.copyAmbientLightReading(), 300.0);
    sensor.setEstimateOptions(kLocating);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a tick of the sources
    EXPECT_EQ(sensor.copyAmbientLightReading(), 300.0);
    EXPECT_EQ(geoClue.starts(), 0);
    EXPECT_EQ(geoClue.desktopId(), "");

    sensor.setEstimateOptions({0.02, true, "org.duolume.Duolume"});
    EXPECT_TRUE(testing_support::waitFor(
        [&] { return placeOf(sensor) == "64.15 N, 21.94 W (located by GeoClue)"; }, 8.0));
    EXPECT_EQ(geoClue.starts(), 1);
}

// Where GeoClue gives no place, the zone's stays, said once.
struct Unlocated {
    const char* name;
    bool service;  // a GeoClue that refuses, else none on the bus
    const char* line;
};

class NoGeoClue : public testing::TestWithParam<Unlocated> {};

TEST_P(NoGeoClue, LeavesTheZonesPlaceAndSaysSoOnce) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    bed.laptop.setTimeZone("Europe/Berlin");
    ScopedEnv clock("PLATFORM_DAYLIGHT_CLOCK", kFrozenNoon);
    PrivateBus bus(PrivateBus::Kind::System);
    std::optional<FakeGeoClue> geoClue;
    if (GetParam().service) {
        geoClue.emplace(bus.address(), true);
        geoClue->locate(kReykjavik);
    }
    auto& machine = LoggingLinuxMachine::installNew();
    LinuxLightSensor sensor;
    ASSERT_TRUE(sensor.hasServiceClient());
    sensor.setEstimateOptions(kLocating);
    ASSERT_TRUE(testing_support::waitFor(
        [&] {
            sensor.hasServiceClient();
            return machine.logged(GetParam().line);
        },
        8.0));
    sensor.setEstimateOptions({0.05, false, "org.duolume.Duolume"});  // not asked again
    EXPECT_TRUE(testing_support::waitFor(
        [&] {
            return near(sensor.copyAmbientLightReading(),
                        estimatedRoomLux({52.5, 13 + 22 / 60.0, 0.05}, kNoon));
        },
        8.0));
    sensor.hasServiceClient();
    EXPECT_EQ(placeLines(machine), 1);
    EXPECT_EQ(placeOf(sensor), "Berlin");
}

INSTANTIATE_TEST_SUITE_P(
    GeoClue, NoGeoClue,
    testing::Values(
        Unlocated{"Refused", true,
                  "Place of the sun's estimate: GeoClue refused the place (Geolocation disabled "
                  "for UID 1000); it stays Berlin (52.50 N, 13.37 E), the place of the time zone "
                  "Europe/Berlin"},
        Unlocated{"NotOnTheBus", false,
                  "Place of the sun's estimate: GeoClue (org.freedesktop.GeoClue2) is not on the "
                  "system bus; it stays Berlin"}),
    [](const testing::TestParamInfo<Unlocated>& info) { return info.param.name; });
