#include "engine/DdcCiMessages.h"

#include <algorithm>

namespace duolume::ddc {
namespace {

// The monitor's address as written on the bus, which a request's checksum
// begins with (src/base/ddc_packets.c: ddc_checksum over the packet from its
// destination byte 0x6E on).
constexpr std::uint8_t kMonitorWriteAddress = 0x6E;
// A reply's checksum begins with 0x50 in place of its destination, not with
// the 0x6F the host read it at (src/base/ddc_packets.c: ddc_checksum with
// altmode, used by create_ddc_base_response_packet; the standard's own
// examples in test_checksum, sections 6.3 and 6.4).
constexpr std::uint8_t kReplyChecksumSeed = 0x50;
// Get VCP Feature request and reply, Set VCP Feature request
// (src/base/ddc_packets.h, DDC_PACKET_TYPE_*).
constexpr std::uint8_t kGetVcpRequest = 0x01;
constexpr std::uint8_t kGetVcpReply = 0x02;
constexpr std::uint8_t kSetVcpRequest = 0x03;

std::vector<std::uint8_t> request(std::vector<std::uint8_t> data) {
    std::vector<std::uint8_t> message{static_cast<std::uint8_t>(0x80 | data.size())};
    message.insert(message.end(), data.begin(), data.end());
    std::uint8_t checksum = kMonitorWriteAddress ^ kHostSourceAddress;
    for (std::uint8_t byte : message)
        checksum ^= byte;
    message.push_back(checksum);
    return message;
}

}  // namespace

std::vector<std::uint8_t> setVcpRequest(std::uint8_t code, std::uint16_t value) {
    return request({kSetVcpRequest, code, static_cast<std::uint8_t>(value >> 8),
                    static_cast<std::uint8_t>(value)});
}

std::vector<std::uint8_t> getVcpRequest(std::uint8_t code) {
    return request({kGetVcpRequest, code});
}

VcpReply parseGetVcpReply(const std::vector<std::uint8_t>& bytes, std::uint8_t code) {
    if (!bytes.empty() && std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0; }))
        return {std::nullopt, "all zero"};
    // Some monitors send their address twice: the reply starts at the second
    // (src/base/ddc_packets.c, create_ddc_response_packet, "Quirk: response
    // packet starts with double 0x6e").
    const std::size_t skip =
        bytes.size() > 2 && bytes[0] == kMonitorWriteAddress && bytes[1] == kMonitorWriteAddress
            ? 1
            : 0;
    const std::vector<std::uint8_t> reply(bytes.begin() + static_cast<long>(skip), bytes.end());
    // 6E, 0x80 | length, data, checksum; a reply without data is the null
    // message (the same file, create_ddc_base_response_packet).
    if (reply.size() < 3 || reply[0] != kMonitorWriteAddress || !(reply[1] & 0x80))
        return {std::nullopt, "malformed"};
    const std::size_t length = reply[1] & 0x7F;
    if (length + 3 > reply.size())
        return {std::nullopt, "malformed"};
    std::uint8_t checksum = kReplyChecksumSeed;
    for (std::size_t i = 0; i < length + 2; ++i)
        checksum ^= reply[i];
    if (checksum != reply[length + 2])
        return {std::nullopt, "checksum"};
    if (length == 0)
        return {std::nullopt, "null message"};
    // 02, result code, code, type, maximum and current value high byte
    // first (src/base/ddc_packets.c, Vcp_Response). Result code 0 is no
    // error, 1 an unsupported control; any other is bad data
    // (interpret_vcp_feature_response_std).
    const std::uint8_t* data = reply.data() + 2;
    if (length != 8 || data[0] != kGetVcpReply || data[2] != code)
        return {std::nullopt, "malformed"};
    if (data[1] == 0x01)
        return {std::nullopt, "unsupported"};
    if (data[1] != 0x00)
        return {std::nullopt, "malformed"};
    VcpValue value;
    value.maximum = static_cast<std::uint16_t>(data[4] << 8 | data[5]);
    value.current = static_cast<std::uint16_t>(data[6] << 8 | data[7]);
    return {value, {}};
}

}  // namespace duolume::ddc
