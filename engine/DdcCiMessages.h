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
// x66_ambient_light_sensor_values). A non-continuous control: its value is
// the SL byte alone, whatever a monitor puts in SH (ddc_vcp.c,
// single_vcp_value_equal, compares SL only).
inline constexpr std::uint8_t kAmbientLightSensor = 0x66;
inline constexpr std::uint8_t kSensorDisabled = 1;
inline constexpr std::uint8_t kSensorEnabled = 2;

// The waits ddcutil keeps (src/base/tuned_sleep.c, get_sleep_time): 50 ms
// (DDC_TIMEOUT_MILLIS_DEFAULT) from a Get VCP Feature request to reading its
// reply (SE_WRITE_TO_READ; the 40 ms constant of parms.h is not used), after
// reading a reply (SE_POST_READ) and after a Set VCP Feature request
// (SE_POST_WRITE), before the next message to that monitor. A monitor's own
// wait scales all three (DdcLink.h).
inline constexpr double kStandardWaitSeconds = 0.050;

// The bytes that follow the source address on the bus: length | 0x80, data,
// checksum (the XOR of 0x6E, 0x51 and every byte before it).
// Set VCP Feature: 84 03 code high low checksum.
std::vector<std::uint8_t> setVcpRequest(std::uint8_t code, std::uint16_t value);
// Get VCP Feature: 82 01 code checksum.
std::vector<std::uint8_t> getVcpRequest(std::uint8_t code);

// How much is read for the reply to a Get VCP Feature request: source
// address, length, 8 data bytes, checksum, and one byte more for monitors
// that send their address twice (src/ddc/ddc_packet_io.c, ddc_write_read:
// "allow for quirk of double 0x6e at start").
inline constexpr std::size_t kGetVcpReplyReadLength = 12;

struct VcpValue {
    std::uint16_t current = 0;
    std::uint16_t maximum = 0;
    // The value of a non-continuous control (kAmbientLightSensor).
    std::uint8_t sl() const { return static_cast<std::uint8_t>(current & 0xFF); }
};

// A Get VCP Feature reply read back, or why it cannot be used: "null
// message" (the monitor has no answer ready), "all zero" (nothing was
// sent), "checksum", "unsupported" (result code 1: the monitor does not know
// the control), "malformed" (anything else, other result codes among them).
// Every fault but "unsupported" is worth asking again: ddcutil retries all
// of them (src/ddc/ddc_packet_io.c, ddc_write_read_with_retry; DDCRC_DDC_DATA
// and DDCRC_READ_ALL_ZERO are retryable, DDCRC_NULL_RESPONSE too unless it
// stands for an unsupported control, which it does not for 0x10).
struct VcpReply {
    std::optional<VcpValue> value;
    std::string fault;
    bool worthRetrying() const { return !value && fault != "unsupported"; }
};
VcpReply parseGetVcpReply(const std::vector<std::uint8_t>& reply, std::uint8_t code);

}  // namespace duolume::ddc
