// Backlight changes through systemd-logind, for users who may not write the
// sysfs file themselves: org.freedesktop.login1.Session.SetBrightness on the
// caller's own session (/org/freedesktop/login1/session/auto), system bus.
#pragma once

#include <cstdint>
#include <string>

#include "base/IOKitTypes.h"

namespace platform::linux_machine {

// Asks logind to set backlight `name` to `raw`. kIOReturnSuccess, or a
// failure status when there is no system bus, no logind or it refuses.
IOReturn logindSetBacklight(const std::string& name, std::uint32_t raw);
// True when logind answers for the caller's session and that session has a
// seat and is its seat's active one (logind lets no other session change the
// backlight; an SSH login has no seat).
bool logindSessionCanSetBrightness();

}  // namespace platform::linux_machine
