// How the engine's log lines name a display, from its EDID (read by the
// platform's one EDID reader, Edid.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace duolume {

// "\"DELL U2415\"", else manufacturer and product code ("DEL a0ba"), else
// "a monitor without an EDID" (none, or a damaged one).
std::string describeDisplay(const std::vector<std::uint8_t>& edid);

}  // namespace duolume
