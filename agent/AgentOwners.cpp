// Who owns each kind of display, told once per change: in the journal and on
// the session bus for the window.
#include "DisplayServices/DisplayServices.h"
#include "Foundation/NSLog.h"
#include "Session/Session.h"
#include "agent/BackgroundAgent.h"

namespace duolume {

std::optional<Owner> BackgroundAgent::sessionOwner() const {
    if (!session_.active)
        return Owner::OtherUser;
    if (session_.sleeping)
        return Owner::Asleep;
    if (session_.idle || desktopRestores_)
        return Owner::SessionIdle;
    return std::nullopt;
}

Ownership BackgroundAgent::ownershipOf(DisplayKind kind) const {
    if (const auto owner = sessionOwner())
        return {*owner};
    if (kind == DisplayKind::Builtin && desktopDrivesBuiltin_)
        return {Owner::Desktop};
    if (kind == DisplayKind::Builtin && desktopDim_)
        return {Owner::SessionIdle};
    if (const auto& hold = holds_.held(kind))
        return {Owner::Person, hold->value, hold->level, hold->since};
    return {Owner::Curve};
}

void BackgroundAgent::publishOwners() {
    Owners now;
    now.builtin = ownershipOf(DisplayKind::Builtin);
    if (monitorsPresent_)
        now.monitors = ownershipOf(DisplayKind::Monitors);
    now.builtinRoute = platform::builtinBrightnessRoute();
    if (ownersPublished_ && now == owners_)
        return;
    auto logChange = [](DisplayKind kind, const std::optional<Ownership>& before,
                        const std::optional<Ownership>& after) {
        if (after && after != before)
            NSLog("%s: %s", kindLabel(english, kind).c_str(),
                  describeOwnership(english, *after).c_str());
    };
    logChange(DisplayKind::Builtin, owners_.builtin, now.builtin);
    logChange(DisplayKind::Monitors, owners_.monitors, now.monitors);
    owners_ = now;
    ownersPublished_ = true;
    platform::publishSessionValue(OwnersKey, encodeOwners(owners_));
}

}  // namespace duolume
