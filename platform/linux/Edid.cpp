#include "linux/Edid.h"

namespace platform::linux_machine {

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

}  // namespace platform::linux_machine
