// The sun's estimate: the solar elevation against published figures, the
// daylight model against its own published coefficients, and the place of
// the machine's time zone against tzdata's zone1970.tab (a copy in
// tests/data/tzdata, in a virtual laptop's root).
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <filesystem>

#include "linux/light/DaylightIlluminance.h"
#include "linux/light/SolarPosition.h"
#include "linux/light/SunEstimate.h"
#include "linux/light/ZonePlace.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

using namespace platform::linux_machine;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::VirtualLaptop;

namespace {

double utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<double>(timegm(&t));
}

// The highest and lowest elevation of a UTC day, minute by minute.
std::pair<double, double> dayRange(double dayStart, double latitude, double longitude) {
    double low = 90.0, high = -90.0;
    for (int minute = 0; minute < 1440; ++minute) {
        const double e = solarElevation(dayStart + minute * 60.0, latitude, longitude);
        low = std::fmin(low, e);
        high = std::fmax(high, e);
    }
    return {low, high};
}

}  // namespace

// Published elevations (refraction included) at given moments and places.
TEST(SolarPosition, ElevationMatchesPublishedFigures) {
    struct Row {
        const char* source;
        double time, latitude, longitude, published;
    };
    const Row rows[] = {
        // NOAA Solar Calculator for 22 December 2012, 12:00 UTC, on the prime
        // meridian, as quoted on stackoverflow.com question 8708048 ("Position
        // of the sun given time of day, latitude and longitude").
        {"NOAA, 41 S", utc(2012, 12, 22, 12, 0, 0), -41.0, 0.0, 72.44},
        {"NOAA, 3 S", utc(2012, 12, 22, 12, 0, 0), -3.0, 0.0, 69.57},
        {"NOAA, 3 N", utc(2012, 12, 22, 12, 0, 0), 3.0, 0.0, 63.57},
        {"NOAA, 41 N", utc(2012, 12, 22, 12, 0, 0), 41.0, 0.0, 25.6},
        // NREL's Solar Position Algorithm report's example (I. Reda and A.
        // Andreas, NREL/TP-560-34302, 2004): Golden, Colorado, 17 October
        // 2003, 12:30:30 at UTC-7: topocentric zenith 50.11162 degrees.
        {"NREL SPA, Golden", utc(2003, 10, 17, 19, 30, 30), 39.742476, -105.1786, 90.0 - 50.11162},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source);
        EXPECT_NEAR(solarElevation(row.time, row.latitude, row.longitude), row.published, 0.02);
    }
}

// J. Meeus, Astronomical Algorithms (1991), example 25.a: 1992 October 13.0,
// apparent declination -7 degrees 47' 06" (-7.78507).
TEST(SolarPosition, DeclinationMatchesMeeusExample) {
    const double julianDay = 2448908.5;
    EXPECT_NEAR(solarCoordinates((julianDay - 2440587.5) * 86400.0).declination, -7.78507, 0.001);
}

// Tromsø (69.65 N, 18.96 E) has polar night around the December solstice and
// midnight sun around the June one; Resolute (74.70 N, zone1970.tab's place
// of America/Resolute) too; the equator has neither.
TEST(SolarPosition, PolarNightAndMidnightSun) {
    struct Row {
        const char* place;
        double latitude, longitude;
        bool polarNight, midnightSun;
    };
    const Row rows[] = {
        {"Tromso", 69.6492, 18.9553, true, true},
        {"Resolute", 74.6956, -94.8292, true, true},
        {"Quito", -0.22, -78.51, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.place);
        const auto december = dayRange(utc(2024, 12, 21, 0, 0, 0), row.latitude, row.longitude);
        const auto june = dayRange(utc(2024, 6, 21, 0, 0, 0), row.latitude, row.longitude);
        EXPECT_EQ(december.second < 0.0, row.polarNight) << december.second;
        EXPECT_EQ(june.first > 0.0, row.midnightSun) << june.first;
    }
}

// USNO Circular 171's bands, worked out by hand from its coefficients at
// points inside each band, and a sunset (the upper limb on the horizon, the
// centre at -0.83 degrees) against "400 lux, sunrise or sunset on a clear
// day" (Wikipedia, Orders of magnitude (illuminance)).
TEST(DaylightIlluminance, FollowsTheNavalObservatorysModel) {
    struct Row {
        double elevation;
        double log10Lux;  // from the circular's table
    };
    const Row rows[] = {
        {90.0, 3.74 + 3.97 - 4.07 + 1.47},
        {45.0, 3.74 + 3.97 * 0.5 - 4.07 * 0.25 + 1.47 * 0.125},
        {10.0, 3.05 + 13.28 / 9 - 45.98 / 81 + 64.33 / 729},
        {0.0, 2.88},
        {-3.0, 2.88 - 21.81 / 30 - 258.11 / 900 + 858.36 / 27000},
        {-9.0, 2.70 - 12.17 / 10 - 431.69 / 100 + 1899.83 / 1000},
        {-15.0, 13.84 - 262.72 / 6 + 1447.42 / 36 - 2797.93 / 216},
        {-30.0, -2.69897},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.elevation);
        EXPECT_NEAR(std::log10(clearSkyIlluminance(row.elevation)), row.log10Lux, 1e-9);
    }
    EXPECT_NEAR(clearSkyIlluminance(-0.83), 400.0, 80.0);
    // The bands meet: no step of more than 2 % at their edges.
    for (double edge : {20.0, 5.0, -0.8, -5.0, -12.0}) {
        SCOPED_TRACE(edge);
        EXPECT_NEAR(std::log10(clearSkyIlluminance(edge + 1e-6)),
                    std::log10(clearSkyIlluminance(edge - 1e-6)), 0.01);
    }
}

TEST(SunEstimate, NextChangeComesWhenTheEstimateHasMovedAStepAndNeverInAPolarNight) {
    const SunEstimateInputs berlin{52.5, 13.3667, 0.02};
    const double sunrise = utc(2024, 3, 20, 5, 30, 0);
    const auto next = nextChange(berlin, sunrise, 0.1, 6 * 3600.0);
    ASSERT_TRUE(next);
    EXPECT_GT(*next, sunrise);
    EXPECT_GE(std::fabs(lightSteps(estimatedRoomLux(berlin, *next)) -
                        lightSteps(estimatedRoomLux(berlin, sunrise))),
              0.1);
    // A minute earlier it had not.
    EXPECT_LT(std::fabs(lightSteps(estimatedRoomLux(berlin, *next - 60.0)) -
                        lightSteps(estimatedRoomLux(berlin, sunrise))),
              0.1);
    const SunEstimateInputs resolute{74.6956, -94.8292, 0.02};
    EXPECT_FALSE(nextChange(resolute, utc(2024, 12, 21, 0, 0, 0), 0.1, 6 * 3600.0));
}

TEST(ZoneCoordinates, IsoPairsOfZone1970) {
    struct Row {
        const char* text;
        bool valid;
        double latitude, longitude;
    };
    const Row rows[] = {
        {"+5230+01322", true, 52.5, 13 + 22 / 60.0},
        {"-3352+15113", true, -(33 + 52 / 60.0), 151 + 13 / 60.0},
        {"+744144-0944945", true, 74 + 41 / 60.0 + 44 / 3600.0, -(94 + 49 / 60.0 + 45 / 3600.0)},
        {"+5260+01322", false, 0, 0},  // 60 minutes
        {"+9100+00000", false, 0, 0},  // beyond the pole
        {"+5230+18100", false, 0, 0},  // beyond the date line
        {"5230+01322", false, 0, 0},   // no sign
        {"+5230", false, 0, 0},        // no longitude
        {"+52a0+01322", false, 0, 0},  // not digits
        {"+523+01322", false, 0, 0},   // too short
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto place = parseZoneCoordinates(row.text);
        ASSERT_EQ(place.has_value(), row.valid);
        if (place) {
            EXPECT_NEAR(place->latitude, row.latitude, 1e-9);
            EXPECT_NEAR(place->longitude, row.longitude, 1e-9);
        }
    }
}

// The place of the machine's time zone, as /etc/localtime names it.
TEST(ZonePlace, TheMachinesZoneFromItsOwnRoot) {
    struct Row {
        const char* localtime;  // "" for none
        const char* timezoneFile;
        const char* link;  // a zone that is a link, and its target
        const char* linkTarget;
        const char* city;  // "" for no place
        double latitude;
    };
    const Row rows[] = {
        {"Europe/Berlin", "", "", "", "Berlin", 52.5},
        {"America/Argentina/Buenos_Aires", "", "", "", "Buenos Aires", -(34 + 36 / 60.0)},
        // Debian's Europe/Oslo is a zone file of its own; zone1970.tab counts
        // it under Berlin, zone.tab has Oslo.
        {"Europe/Oslo", "", "", "", "Oslo", 59 + 55 / 60.0},
        // A link with a row of its own in zone.tab: its own place.
        {"Arctic/Longyearbyen", "", "Arctic/Longyearbyen", "Europe/Berlin", "Longyearbyen", 78.0},
        // A link only: the zone whose data file it is.
        {"Europe/Kiev", "", "Europe/Kiev", "Europe/Kyiv", "Kyiv", 50 + 26 / 60.0},
        {"US/Eastern", "", "US/Eastern", "America/New_York", "New York",
         40 + 42 / 60.0 + 51 / 3600.0},
        {"Etc/UTC", "", "", "", "", 0},
        {"", "Asia/Tokyo\n", "", "", "Tokyo", 35 + 39 / 60.0 + 16 / 3600.0},
        {"", "", "", "", "", 0},
    };
    // The machine's root is read once per process: one folder, emptied per row.
    TempDir root;
    ScopedEnv sysroot("PLATFORM_SYSROOT", root.path());
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.localtime) + row.timezoneFile);
        std::filesystem::remove_all(root / "etc");
        std::filesystem::remove_all(root / "usr");
        VirtualLaptop laptop(root.path());
        if (*row.link)
            laptop.addZoneLink(row.link, row.linkTarget);
        if (*row.localtime)
            laptop.setTimeZone(row.localtime);
        if (*row.timezoneFile) {
            laptop.setTimeZone("Etc/UTC");
            std::remove((root / "etc/localtime").c_str());
            testing_support::writeFile(root / "etc/timezone", row.timezoneFile);
        }
        const MachinePlace found = machineZonePlace();
        ASSERT_EQ(found.place.has_value(), *row.city != '\0') << found.why;
        if (found.place) {
            EXPECT_EQ(found.place->city, row.city);
            EXPECT_NEAR(found.place->latitude, row.latitude, 1e-9);
        } else {
            EXPECT_FALSE(found.why.empty());
        }
    }
}
