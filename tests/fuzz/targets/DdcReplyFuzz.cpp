// A monitor's reply to a Get VCP Feature request is outside input: any bytes
// are a value or a fault, never a crash; a value is what the bytes say, and
// reads back the same from a reply built the standard's way.
#include <cstdlib>
#include <vector>

#include "engine/DdcCiMessages.h"
#include "fuzz/FuzzTarget.h"

namespace ddc = duolume::ddc;

DUOLUME_FUZZ_TARGET(ddc_replies) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    for (std::uint8_t code : {ddc::kLuminance, ddc::kAmbientLightSensor}) {
        const auto reply = ddc::parseGetVcpReply(bytes, code);
        if (reply.value.has_value() == !reply.fault.empty())
            std::abort();  // a value, or a fault: one of the two
        if (!reply.value) {
            continue;
        }
        if (reply.worthRetrying())
            std::abort();
        const auto v = *reply.value;
        std::vector<std::uint8_t> again{0x6E,
                                        0x88,
                                        0x02,
                                        0x00,
                                        code,
                                        0x00,
                                        static_cast<std::uint8_t>(v.maximum >> 8),
                                        static_cast<std::uint8_t>(v.maximum),
                                        static_cast<std::uint8_t>(v.current >> 8),
                                        static_cast<std::uint8_t>(v.current)};
        std::uint8_t checksum = 0x50;
        for (auto b : again)
            checksum ^= b;
        again.push_back(checksum);
        const auto read = ddc::parseGetVcpReply(again, code);
        if (!read.value || read.value->current != v.current || read.value->maximum != v.maximum)
            std::abort();
    }
}
