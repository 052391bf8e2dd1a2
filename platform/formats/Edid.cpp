#include "formats/Edid.h"

namespace platform {

std::optional<EdidIdentity> parseEdid(const std::vector<std::uint8_t>& edid) {
    static constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    if (edid.size() < 128)
        return std::nullopt;
    for (int i = 0; i < 8; ++i) {
        if (edid[i] != kHeader[i])
            return std::nullopt;
    }
    std::uint8_t sum = 0;
    for (int i = 0; i < 128; ++i)
        sum = static_cast<std::uint8_t>(sum + edid[i]);
    if (sum != 0)
        return std::nullopt;
    EdidIdentity id;
    id.vendor = static_cast<std::uint32_t>(edid[8]) << 8 | edid[9];
    id.product = static_cast<std::uint32_t>(edid[10]) | static_cast<std::uint32_t>(edid[11]) << 8;
    id.serial = static_cast<std::uint32_t>(edid[12]) | static_cast<std::uint32_t>(edid[13]) << 8 |
                static_cast<std::uint32_t>(edid[14]) << 16 |
                static_cast<std::uint32_t>(edid[15]) << 24;
    return id;
}

std::string edidManufacturerLetters(std::uint32_t vendor) {
    std::string letters;
    for (int shift : {10, 5, 0}) {
        const unsigned letter = vendor >> shift & 0x1F;
        if (letter < 1 || letter > 26)
            return {};
        letters += static_cast<char>('A' + letter - 1);
    }
    return letters;
}

std::string edidManufacturer(const std::vector<std::uint8_t>& edid) {
    const auto id = parseEdid(edid);
    return id ? edidManufacturerLetters(id->vendor) : std::string();
}

std::string edidDisplayName(const std::vector<std::uint8_t>& edid) {
    if (!parseEdid(edid))
        return {};
    // Four 18-byte descriptors from byte 54; a display descriptor starts
    // with 00 00 00, then its tag, then 00, then 13 bytes. A name longer
    // than 13 characters goes on in the next name descriptor: Apple's
    // displays split "Cinema HD Dis" + "play", "Apple Cinema " + "HD Display"
    // (tests/data/real-data/edid), so the pieces are joined in order.
    std::string name;
    for (std::size_t at = 54; at + 18 <= 126; at += 18) {
        const std::uint8_t* d = edid.data() + at;
        if (d[0] || d[1] || d[2] || d[3] != 0xFC)
            continue;
        for (int i = 5; i < 18 && d[i] != 0x0A; ++i)
            name += d[i] >= 0x20 && d[i] < 0x7F ? static_cast<char>(d[i]) : '?';
    }
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

}  // namespace platform
