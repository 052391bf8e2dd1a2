// A display's EDID base block (VESA E-EDID 1.4), read once for every use: the
// identity numbers that match a display with its outputs and buses, and the
// maker's letters and product name that say what it is. A block is read only
// when it is whole, starts with the fixed header and passes its checksum, as
// the kernel takes a base block (drivers/gpu/drm/drm_edid.c,
// drm_edid_block_valid); a damaged block says nothing, so nothing is decided
// from a garbled read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct EdidIdentity {
    // Manufacturer ID as the big-endian 16-bit value of bytes 8-9 (three
    // compressed letters), product code and serial number (little-endian).
    std::uint32_t vendor = 0;
    std::uint32_t product = 0;
    std::uint32_t serial = 0;
    bool operator==(const EdidIdentity&) const = default;
};

// Absent when the block is shorter than 128 bytes, lacks the fixed header or
// fails its checksum. Extension blocks are not looked at.
std::optional<EdidIdentity> parseEdid(const std::vector<std::uint8_t>& edid);

// The three letters of a manufacturer ID (five bits a letter, 'A' = 1);
// empty when one of them is not A-Z.
std::string edidManufacturerLetters(std::uint32_t vendor);
// The maker's letters of a block that parseEdid reads; empty otherwise.
std::string edidManufacturer(const std::vector<std::uint8_t>& edid);
// The display product name of such a block: its name descriptors (tag 0xFC)
// joined in order, each without its 0x0A end and padding; empty when there
// is none or the block is not read.
std::string edidDisplayName(const std::vector<std::uint8_t>& edid);

}  // namespace platform
