// A monitor answering DDC/CI (VESA DDC/CI 1.1, MCCS) at I2C address 0x37, as
// seen from the bus: what it acknowledges, what it takes, what it answers.
// It knows one control, 0x10 (luminance). The simulated machine's AV services
// and the test beds' virtual I2C buses use it alike.
//
// Message layout and checksums, as DDC/CI 1.1 defines them (facts as
// rockowitz/ddcutil v2.2.7 src/base/ddc_packets.c applies them): a message to
// the monitor is source address 0x51, length | 0x80, data, checksum (XOR of
// the monitor's write address 0x6E and every byte before it); the monitor's
// reply is 0x6E, length | 0x80, data, checksum (XOR of 0x50 and every byte
// before it). A Get VCP Feature request (data 01 code) is answered with
// 02 result code type max-high max-low current-high current-low; a Set VCP
// Feature request (data 03 code high low) has no reply. A read with no reply
// prepared gives the null message 6E 80 BE. A message whose checksum is wrong
// is acknowledged on the bus and otherwise ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform::sim {

class SimDdcMonitor {
  public:
    enum class Behaviour {
        Answers,      // as above
        Silent,       // acknowledges nothing (no DDC/CI, or switched off in its menu)
        BadChecksum,  // replies whose checksum is wrong
    };

    Behaviour behaviour = Behaviour::Answers;
    std::uint16_t current = 50;
    std::uint16_t maximum = 100;
    // Its own ambient light sensor (MCCS 0x66: 1 off, 2 on); absent: it has none.
    std::optional<std::uint16_t> lightSensor;

    // One write transfer: the bytes after the address byte. False when the
    // monitor does not acknowledge it.
    bool write(const std::uint8_t* bytes, std::size_t size);
    // One read transfer of `size` bytes. False when not acknowledged.
    bool read(std::uint8_t* out, std::size_t size);

    // Every write transfer, as it arrived, and the Set VCP values taken.
    std::vector<std::vector<std::uint8_t>> messages;
    std::vector<std::uint16_t> sets;
    int getRequests = 0;
    int readTransfers = 0;

  private:
    void answerGet(std::uint8_t code);
    std::vector<std::uint8_t> reply_;
};

}  // namespace platform::sim
