// What a display's EDID says about who made it and what it is called, for
// the engine's decisions and log lines (VESA E-EDID 1.4, as the kernel reads
// it in drivers/gpu/drm/drm_edid.c).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace duolume {

// The three-letter manufacturer ID of bytes 8-9 (five bits a letter, 'A' =
// 1, big-endian); empty when the block is too short or the letters are not A-Z.
std::string edidManufacturer(const std::vector<std::uint8_t>& edid);
// The display product name descriptor (tag 0xFC) of the base block, without
// its 0x0A end and padding; empty when there is none.
std::string edidDisplayName(const std::vector<std::uint8_t>& edid);
// For log lines: "\"DELL U2415\"", else manufacturer and product code
// ("DEL a0ba"), else "a monitor without an EDID".
std::string describeDisplay(const std::vector<std::uint8_t>& edid);

}  // namespace duolume
