// A display's side of DDC/CI, for the machines that answer in a display's
// place (the simulated monitor, a kernel driver's backlight spoken to as a
// monitor): the reply to Get VCP Feature, VESA DDC/CI 1.1 as rockowitz/ddcutil
// v2.2.7 src/base/ddc_packets.c frames it: 6E, 88, 02, result code (0 none, 1
// unsupported control), code, type 00, maximum and current value high byte
// first, then the XOR of 0x50 and every byte before it.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

inline std::vector<std::uint8_t> ddcGetVcpReply(std::uint8_t result, std::uint8_t code,
                                                std::uint16_t maximum, std::uint16_t current) {
    std::vector<std::uint8_t> reply{0x6E,
                                    0x88,
                                    0x02,
                                    result,
                                    code,
                                    0x00,
                                    static_cast<std::uint8_t>(maximum >> 8),
                                    static_cast<std::uint8_t>(maximum),
                                    static_cast<std::uint8_t>(current >> 8),
                                    static_cast<std::uint8_t>(current)};
    std::uint8_t checksum = 0x50;
    for (std::uint8_t byte : reply)
        checksum ^= byte;
    reply.push_back(checksum);
    return reply;
}

// What a display sends when it has no reply ready.
inline const std::vector<std::uint8_t> kDdcNullMessage{0x6E, 0x80, 0xBE};

}  // namespace platform
