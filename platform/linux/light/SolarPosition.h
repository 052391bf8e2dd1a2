// Where the sun stands in the sky of a place at a moment: its elevation
// above the horizon, by the equations of NOAA's Solar Calculator (NOAA
// Global Monitoring Laboratory, "General Solar Position Calculations" and the
// calculator's spreadsheet NOAA_Solar_Calculations_day.xls, after J. Meeus,
// Astronomical Algorithms, 1991, chapter 25 "Solar Coordinates", low
// accuracy), with the calculator's approximate atmospheric refraction. NOAA
// states an accuracy of about 0.0167 degrees between latitudes 72 S and
// 72 N for years 1800 to 2100, and ten times that nearer the poles.
#pragma once

namespace platform::linux_machine {

struct SolarCoordinates {
    double declination = 0.0;     // degrees
    double equationOfTime = 0.0;  // minutes
};

// The sun's apparent declination and the equation of time at `unixSeconds`
// (UTC seconds since 1970).
SolarCoordinates solarCoordinates(double unixSeconds);

// The sun's elevation (degrees, refraction included, -90 to 90) seen from
// `latitude` (degrees, north positive) and `longitude` (degrees, east
// positive) at `unixSeconds`.
double solarElevation(double unixSeconds, double latitude, double longitude);

}  // namespace platform::linux_machine
