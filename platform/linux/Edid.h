// The identity numbers of a display from its EDID base block.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace platform::linux_machine {

struct EdidIdentity {
    // Manufacturer ID as the big-endian 16-bit value of bytes 8-9 (three
    // compressed letters), product code and serial number (little-endian).
    std::uint32_t vendor = 0;
    std::uint32_t product = 0;
    std::uint32_t serial = 0;
    bool operator==(const EdidIdentity&) const = default;
};

// Absent when the block is shorter than 128 bytes, lacks the fixed header or
// fails its checksum.
std::optional<EdidIdentity> parseEdid(const std::vector<std::uint8_t>& edid);

}  // namespace platform::linux_machine
