#include "report/DisplayOwnership.h"

#include <cmath>
#include <ctime>
#include <sstream>

#include "DisplayServices/DisplayServices.h"
#include "settings/ProductIdentifier.h"

namespace duolume {

const std::string FollowCurveNotification = ProductIdentifier + ".followCurve";

namespace {

struct OwnerName {
    Owner owner;
    const char* name;
};
constexpr OwnerName kOwnerNames[] = {
    {Owner::Curve, "curve"},     {Owner::Person, "person"}, {Owner::SessionIdle, "idle"},
    {Owner::OtherUser, "other"}, {Owner::Asleep, "asleep"}, {Owner::Desktop, "desktop"},
};

std::optional<Owner> ownerNamed(const std::string& name) {
    for (const auto& o : kOwnerNames)
        if (name == o.name)
            return o.owner;
    return std::nullopt;
}

const char* nameOf(Owner owner) {
    for (const auto& o : kOwnerNames)
        if (o.owner == owner)
            return o.name;
    return "curve";
}

void encodeOne(std::ostringstream& out, DisplayKind kind, const std::optional<Ownership>& o) {
    if (!o)
        return;
    out << kindName(kind) << ' ' << nameOf(o->owner);
    if (o->owner == Owner::Person) {
        char numbers[80];
        std::snprintf(numbers, sizeof numbers, " %.4f %.2f %lld", o->value, o->level,
                      static_cast<long long>(o->since));
        out << numbers;
    }
    out << '\n';
}

// A way the machine knows and a why this version knows, or nothing.
std::optional<platform::BuiltinBrightnessRoute> routeFrom(std::istream& words) {
    using Why = platform::BuiltinBrightnessWhy;
    int way = -1, why = -1;
    if (!(words >> way >> why) || !platform::builtinRouteKind(way) || why < 0 ||
        why > static_cast<int>(Why::DesktopServiceFailed))
        return std::nullopt;
    return platform::BuiltinBrightnessRoute{way, static_cast<Why>(why)};
}

std::string clockTime(std::int64_t since) {
    const std::time_t t = static_cast<std::time_t>(since);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return "?";
    char text[16];
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

}  // namespace

std::string kindName(DisplayKind kind) {
    return kind == DisplayKind::Builtin ? "builtin" : "monitors";
}

std::optional<DisplayKind> kindNamed(const std::string& name) {
    if (name == "builtin")
        return DisplayKind::Builtin;
    if (name == "monitors")
        return DisplayKind::Monitors;
    return std::nullopt;
}

std::string encodeOwners(const Owners& owners) {
    std::ostringstream out;
    encodeOne(out, DisplayKind::Builtin, owners.builtin);
    encodeOne(out, DisplayKind::Monitors, owners.monitors);
    if (const auto& route = owners.builtinRoute)
        out << "route " << static_cast<int>(route->way) << ' ' << static_cast<int>(route->why)
            << '\n';
    return out.str();
}

Owners decodeOwners(const std::string& text) {
    Owners owners;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kindWord, ownerWord;
        words >> kindWord;
        if (kindWord == "route") {
            owners.builtinRoute = routeFrom(words);
            continue;
        }
        words >> ownerWord;
        const auto kind = kindNamed(kindWord);
        const auto owner = ownerNamed(ownerWord);
        if (!kind || !owner)
            continue;
        Ownership o{*owner};
        if (o.owner == Owner::Person) {
            long long since = 0;
            if (!(words >> o.value >> o.level >> since) || !std::isfinite(o.value) ||
                !std::isfinite(o.level) || o.value < 0.0 || o.value > 1.0)
                continue;
            o.since = since;
        }
        (*kind == DisplayKind::Builtin ? owners.builtin : owners.monitors) = o;
    }
    return owners;
}

std::string describeOwnership(const Texts& texts, const Ownership& o) {
    switch (o.owner) {
        case Owner::Curve:
            return text(texts, "following the curve");
        case Owner::Person:
            return text(texts,
                        "held at %@ % since %@ because it was set by hand (follows the curve "
                        "again when the light changes by a level)",
                        {std::to_string(static_cast<int>(std::lround(o.value * 100.0))),
                         clockTime(o.since)});
        case Owner::SessionIdle:
            return text(texts, "paused: session idle");
        case Owner::OtherUser:
            return text(texts, "paused: another user is at the screen");
        case Owner::Asleep:
            return text(texts, "paused: the machine is asleep");
        case Owner::Desktop:
            return text(texts, "left to the desktop's automatic brightness");
    }
    return "";
}

std::string kindLabel(const Texts& texts, DisplayKind kind) {
    return kind == DisplayKind::Builtin ? text(texts, "Built-in display") : text(texts, "Monitors");
}

}  // namespace duolume
