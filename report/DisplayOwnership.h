// Who owns each kind of display's brightness at this moment, as the agent
// decides it and publishes it on the session bus, and as the window shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "machine/BuiltinBrightnessRoute.h"
#include "report/Texts.h"

namespace duolume {

// The key the agent publishes its owners under, and the notice the window
// posts (object: a kind's name) to end a hold.
inline const std::string OwnersKey = "Owners";
extern const std::string FollowCurveNotification;

enum class DisplayKind { Builtin, Monitors };

enum class Owner {
    Curve,        // following the curve
    Person,       // held at the value someone set by hand
    SessionIdle,  // the desktop dims or blanks an idle screen
    OtherUser,    // another user's session is at the screen
    Asleep,       // the machine is going to sleep or waking
    Desktop,      // the desktop's own automatic brightness drives it
};

struct Ownership {
    Owner owner = Owner::Curve;
    // For Person: the value held, the light level it was set at, and when
    // (seconds since 1970).
    double value = 0.0;
    double level = 0.0;
    std::int64_t since = 0;
    bool operator==(const Ownership&) const = default;
};

struct Owners {
    std::optional<Ownership> builtin;   // absent: no built-in display driven
    std::optional<Ownership> monitors;  // absent: no monitor attached
    // The way the agent writes the built-in display, and why.
    std::optional<platform::BuiltinBrightnessRoute> builtinRoute = std::nullopt;
    bool operator==(const Owners&) const = default;
};

// The kind's name in the published text and the window's notice.
std::string kindName(DisplayKind kind);
std::optional<DisplayKind> kindNamed(const std::string& name);

// One line per kind, "builtin person 0.8000 4.30 1765270000", and "route 7 4"
// (the way and why by number); what cannot be
// read back (another version, damage) is left out, never guessed.
std::string encodeOwners(const Owners& owners);
Owners decodeOwners(const std::string& text);

// "following the curve", "held at 80 % since 14:05 because …", in the
// person's words (the time in the local zone).
std::string describeOwnership(const Texts& texts, const Ownership& ownership);
// "Built-in display" or "Monitors".
std::string kindLabel(const Texts& texts, DisplayKind kind);

}  // namespace duolume
