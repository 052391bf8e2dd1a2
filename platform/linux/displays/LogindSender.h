// logind's brightness calls for a program whose main thread never waits (a
// window): each is made on a thread of its own, the latest value of each
// backlight replacing one not yet sent, and the session's right to set
// brightness is asked there once. A refusal is logged on the main loop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::linux_machine {

// Whether the calling program's main thread may not wait for logind.
bool logindCallsMustNotWait();
// Hands `raw` for backlight `name` to the sender's thread; returns at once.
void sendLogindBacklight(const std::string& name, std::uint32_t raw);
// The session's right to set brightness, once the sender's thread has asked
// (the first call starts the asking); absent until then.
std::optional<bool> logindSessionCanSetBrightnessKnown();

}  // namespace platform::linux_machine
