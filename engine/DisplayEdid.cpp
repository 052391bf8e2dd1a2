#include "engine/DisplayEdid.h"

#include <cstdio>

namespace duolume {

std::string edidManufacturer(const std::vector<std::uint8_t>& edid) {
    if (edid.size() < 128)
        return {};
    const unsigned id = static_cast<unsigned>(edid[8]) << 8 | edid[9];
    std::string letters;
    for (int shift : {10, 5, 0}) {
        const unsigned letter = id >> shift & 0x1F;
        if (letter < 1 || letter > 26)
            return {};
        letters += static_cast<char>('A' + letter - 1);
    }
    return letters;
}

std::string edidDisplayName(const std::vector<std::uint8_t>& edid) {
    if (edid.size() < 128)
        return {};
    // Four 18-byte descriptors from byte 54; a display descriptor starts
    // with 00 00 00, then its tag, then 00, then 13 bytes.
    for (std::size_t at = 54; at + 18 <= 126; at += 18) {
        const std::uint8_t* d = edid.data() + at;
        if (d[0] || d[1] || d[2] || d[3] != 0xFC)
            continue;
        std::string name;
        for (int i = 5; i < 18 && d[i] != 0x0A; ++i)
            name += d[i] >= 0x20 && d[i] < 0x7F ? static_cast<char>(d[i]) : '?';
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        return name;
    }
    return {};
}

std::string describeDisplay(const std::vector<std::uint8_t>& edid) {
    const std::string name = edidDisplayName(edid);
    if (!name.empty())
        return "\"" + name + "\"";
    const std::string maker = edidManufacturer(edid);
    if (maker.empty())
        return "a monitor without an EDID";
    char product[8];
    std::snprintf(product, sizeof product, "%04x", static_cast<unsigned>(edid[10] | edid[11] << 8));
    return maker + " " + product;
}

}  // namespace duolume
