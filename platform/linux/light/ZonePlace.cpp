#include "linux/light/ZonePlace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <vector>

#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kZoneInfo = "/usr/share/zoneinfo";
// Each zone's principal place since 1970, then each country's zones: a zone
// that zone1970.tab counts under another (Europe/Oslo under Europe/Berlin)
// has its own place in zone.tab.
constexpr const char* kTables[] = {"/usr/share/zoneinfo/zone1970.tab",
                                   "/usr/share/zoneinfo/zone.tab"};
// Far longer than Debian's (about 18 KB).
constexpr std::size_t kTableLimit = 1 << 20;

// One signed angle of `degreeDigits` degree digits then minutes (and maybe
// seconds); `text` starts at its sign and holds exactly this angle.
std::optional<double> angle(std::string_view text, std::size_t degreeDigits, double limit) {
    if (text.size() < 1 + degreeDigits + 2 || (text[0] != '+' && text[0] != '-'))
        return std::nullopt;
    const std::string_view digits = text.substr(1);
    if (digits.size() != degreeDigits + 2 && digits.size() != degreeDigits + 4)
        return std::nullopt;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    auto number = [&](std::size_t from, std::size_t count) {
        int value = 0;
        for (std::size_t i = from; i < from + count; ++i)
            value = value * 10 + (digits[i] - '0');
        return value;
    };
    const int wholeDegrees = number(0, degreeDigits);
    const int minutes = number(degreeDigits, 2);
    const int seconds = digits.size() > degreeDigits + 2 ? number(degreeDigits + 2, 2) : 0;
    if (minutes > 59 || seconds > 59)
        return std::nullopt;
    const double value = wholeDegrees + minutes / 60.0 + seconds / 3600.0;
    if (value > limit)
        return std::nullopt;
    return text[0] == '-' ? -value : value;
}

std::string cityOf(std::string_view zone) {
    std::string city(zone.substr(zone.rfind('/') + 1));
    for (char& c : city)
        if (c == '_')
            c = ' ';
    return city;
}

// The zone /etc/localtime names, else /etc/timezone's.
std::optional<std::string> machineZone() {
    const std::string link = underSysroot("/etc/localtime");
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        const std::string text = target;
        const auto at = text.find("zoneinfo/");
        if (at != std::string::npos)
            return text.substr(at + 9);
    }
    if (auto text = readTextFile(underSysroot("/etc/timezone"), 256)) {
        std::string zone;
        for (char c : *text)
            if (!std::isspace(static_cast<unsigned char>(c)))
                zone += c;
        if (!zone.empty())
            return zone;
    }
    return std::nullopt;
}

// A zone of the table whose data file is the same file as `zone`'s: a zone
// that is only a link to another, by a symbolic link (Debian's tzdata:
// Europe/Oslo to Berlin, US/Eastern to ../America/New_York) or a hard one.
std::optional<ZonePlace> sameFileAs(std::string_view table, const std::string& zone) {
    struct stat wanted {};
    if (::stat(underSysroot(std::string(kZoneInfo) + "/" + zone).c_str(), &wanted) != 0)
        return std::nullopt;
    std::size_t from = 0;
    while (from < table.size()) {
        const std::size_t end = std::min(table.find('\n', from), table.size());
        const std::string_view row = table.substr(from, end - from);
        from = end + 1;
        if (row.empty() || row[0] == '#')
            continue;
        const auto first = row.find('\t');
        const auto second = first == std::string_view::npos ? first : row.find('\t', first + 1);
        if (second == std::string_view::npos)
            continue;
        const auto third = row.find('\t', second + 1);
        const std::string name(row.substr(second + 1, third == std::string_view::npos
                                                          ? std::string_view::npos
                                                          : third - second - 1));
        struct stat candidate {};
        if (::stat(underSysroot(std::string(kZoneInfo) + "/" + name).c_str(), &candidate) == 0 &&
            candidate.st_dev == wanted.st_dev && candidate.st_ino == wanted.st_ino)
            return zoneRow(table, name);
    }
    return std::nullopt;
}

}  // namespace

std::optional<ZonePlace> parseZoneCoordinates(std::string_view text) {
    // The longitude's sign is the second sign in the text.
    const auto split = text.find_first_of("+-", 1);
    if (split == std::string_view::npos)
        return std::nullopt;
    const auto latitude = angle(text.substr(0, split), 2, 90.0);
    const auto longitude = angle(text.substr(split), 3, 180.0);
    if (!latitude || !longitude)
        return std::nullopt;
    ZonePlace place;
    place.latitude = *latitude;
    place.longitude = *longitude;
    return place;
}

std::optional<ZonePlace> zoneRow(std::string_view table, std::string_view zone) {
    std::size_t from = 0;
    while (from < table.size()) {
        const std::size_t end = std::min(table.find('\n', from), table.size());
        std::string_view row = table.substr(from, end - from);
        from = end + 1;
        if (!row.empty() && row.back() == '\r')
            row.remove_suffix(1);
        if (row.empty() || row[0] == '#')
            continue;
        const auto first = row.find('\t');
        if (first == std::string_view::npos)
            continue;
        const auto second = row.find('\t', first + 1);
        if (second == std::string_view::npos)
            continue;
        const auto third = row.find('\t', second + 1);
        const std::string_view name =
            row.substr(second + 1, third == std::string_view::npos ? std::string_view::npos
                                                                   : third - second - 1);
        if (name != zone)
            continue;
        auto place = parseZoneCoordinates(row.substr(first + 1, second - first - 1));
        if (!place)
            return std::nullopt;
        place->zone = std::string(zone);
        place->city = cityOf(zone);
        return place;
    }
    return std::nullopt;
}

MachinePlace machineZonePlace() {
    MachinePlace result;
    const auto zone = machineZone();
    if (!zone) {
        result.why = "no time zone is set (" + underSysroot("/etc/localtime") + ")";
        return result;
    }
    std::vector<std::string> tables;
    for (const char* path : kTables)
        if (auto table = readTextFile(underSysroot(path), kTableLimit))
            tables.push_back(std::move(*table));
    if (tables.empty()) {
        result.why = underSysroot(kTables[0]) + " cannot be read (Debian package tzdata)";
        return result;
    }
    // The zone's own row, else the row of the zone whose data file it is.
    for (const auto& table : tables)
        if (!result.place)
            result.place = zoneRow(table, *zone);
    for (const auto& table : tables)
        if (!result.place)
            result.place = sameFileAs(table, *zone);
    if (!result.place)
        result.why = "the time zone " + *zone + " names no place in " + underSysroot(kTables[0]);
    return result;
}

}  // namespace platform::linux_machine
