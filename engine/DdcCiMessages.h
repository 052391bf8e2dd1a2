// DDC/CI messages for a monitor's brightness: VESA's Display Data Channel
// Command Interface 1.1 carrying MCCS control 0x10 (luminance), as ddcutil
// applies them (rockowitz/ddcutil v2.2.7; each fact's file is named where it
// is used). Building and reading the bytes only; DdcLink.h sends them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace duolume::ddc {

// The monitor's 7-bit I2C address for DDC/CI (0x6E on the bus when written),
// and the host's source address, the first byte of every message to it
// (src/base/ddc_packets.c, create_ddc_base_request_packet).
inline constexpr std::uint32_t kMonitorAddress = 0x37;
inline constexpr std::uint8_t kHostSourceAddress = 0x51;

// MCCS control "luminance" (src/vcp/vcp_feature_codes.c, code 0x10).
inline constexpr std::uint8_t kLuminance = 0x10;
// MCCS control "ambient light sensor": 1 disabled, 2 enabled (the same file,
// x66_ambient_light_sensor_values).
inline constexpr std::uint8_t kAmbientLightSensor = 0x66;
inline constexpr std::uint16_t kSensorDisabled = 1;
inline constexpr std::uint16_t kSensorEnabled = 2;

// Waits the standard asks for (src/base/parms.h): from a Get VCP Feature
// request to reading its reply, and after a Set VCP Feature request before
// the next message to that monitor.
inline constexpr std::uint32_t kReplyDelayMicroseconds = 40000;  // ..._BETWEEN_GETVCP_WRITE_READ
inline constexpr double kQuietAfterSetSeconds = 0.050;           // ..._POST_SETVCP_WRITE

// The bytes that follow the source address on the bus: length | 0x80, data,
// checksum (the XOR of 0x6E, 0x51 and every byte before it).
// Set VCP Feature: 84 03 code high low checksum.
std::vector<std::uint8_t> setVcpRequest(std::uint8_t code, std::uint16_t value);
// Get VCP Feature: 82 01 code checksum.
std::vector<std::uint8_t> getVcpRequest(std::uint8_t code);

// The length of the reply to a Get VCP Feature request: source address,
// length, 8 data bytes, checksum.
inline constexpr std::size_t kGetVcpReplyLength = 11;

struct VcpValue {
    std::uint16_t current = 0;
    std::uint16_t maximum = 0;
};

// A Get VCP Feature reply read back, or why it cannot be used: "null
// message" (the monitor has no answer ready), "checksum", "unsupported"
// (the monitor does not know the control), "malformed".
struct VcpReply {
    std::optional<VcpValue> value;
    std::string fault;
};
VcpReply parseGetVcpReply(const std::vector<std::uint8_t>& reply, std::uint8_t code);

}  // namespace duolume::ddc
