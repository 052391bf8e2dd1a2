// The place of the machine's time zone: the principal location that tzdb's
// zone1970.tab gives the zone (Debian package tzdata,
// /usr/share/zoneinfo/zone1970.tab: "Latitude and longitude of the timezone's
// principal location in ISO 6709 sign-degrees-minutes-seconds format, either
// +-DDMM+-DDDMM or +-DDMMSS+-DDDMMSS", "the most-populous city" where a zone
// covers several countries), else the country's row of zone.tab (Europe/Oslo,
// which zone1970.tab counts under Europe/Berlin, has Oslo there), named after
// the zone's last part. The zone is the one the /etc/localtime link names,
// else Debian's /etc/timezone; a zone with no row that is only a link to
// another (US/Eastern to America/New_York) is the zone whose data file it is.
// Everything is read under the machine's root (Sysroot.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::linux_machine {

struct ZonePlace {
    std::string zone;        // "Europe/Berlin"
    std::string city;        // "Berlin"
    double latitude = 0.0;   // degrees, north positive
    double longitude = 0.0;  // degrees, east positive
};

// One ISO 6709 pair of zone1970.tab ("+5230+01322", "-3352+15113",
// "+690900-0531900"); absent when garbled or out of range.
std::optional<ZonePlace> parseZoneCoordinates(std::string_view text);
// The row of `zone` in the text of a zone1970.tab.
std::optional<ZonePlace> zoneRow(std::string_view table, std::string_view zone);

struct MachinePlace {
    std::optional<ZonePlace> place;
    // Why there is none, for a person: "the time zone Etc/UTC names no place".
    std::string why;
};
// The place of the machine's own zone, read afresh.
MachinePlace machineZonePlace();

}  // namespace platform::linux_machine
