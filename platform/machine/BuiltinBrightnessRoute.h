// Which way this machine's DisplayServices stand-in writes the built-in
// display's brightness, and why: values for whoever tells the person (the
// agent's start-up report, the window's status line), never text. The
// route's name for people comes from the machine (MachineTexts.h).
#pragma once

namespace platform {

// What kind of thing the route goes through.
enum class BuiltinRouteKind {
    None,              // no built-in display with a backlight was seen
    DesktopService,    // the desktop's own brightness service
    PrivilegedHelper,  // a service of the system that may write what this user may not
    BacklightFile,     // the backlight's own brightness file
};

enum class BuiltinBrightnessWhy {
    DesktopServiceAnswers,     // the desktop's own service offers what a write needs
    NotLookedYet,              // nothing has asked for the built-in display yet
    LookingForDesktopService,  // the session bus is being asked
    NoSessionBus,              // there is no session bus to ask
    NoDesktopService,          // none of the desktops' services is on the session bus
    DesktopServiceUnusable,    // a service is there but lacks what a write needs, or is not ready
    DesktopServiceFailed,      // a service refused or failed a write; asked again when it returns
};

struct BuiltinBrightnessRoute {
    // The machine's own number for the route, the same in every process on
    // the machine (what the agent publishes for the window): 0 is none; its
    // kind and name come from the machine (builtinRouteKind, MachineTexts).
    int way = 0;
    BuiltinBrightnessWhy why = BuiltinBrightnessWhy::NotLookedYet;
    bool operator==(const BuiltinBrightnessRoute&) const = default;
};

}  // namespace platform
