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
//
// Besides, it can behave as monitors do in their owners' reports to ddcutil
// (rockowitz/ddcutil issues, each named at its field below).
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
    // What it puts in the SH byte of 0x66's value (SH filled in a
    // non-continuous control's reply).
    std::uint8_t lightSensorHigh = 0;

    // Until then (the caller's clock) it acknowledges nothing: still waking.
    double answersFrom = 0.0;
    // How long it takes to prepare a reply: a read before then gives the
    // null message (slow monitors: a BenQ T2200HD needed a longer wait than
    // ddcutil's, #325).
    double replySeconds = 0.0;
    // After a Set, it is busy storing the value for this long, and answers a
    // Get meanwhile with the null message.
    double busyAfterSetSeconds = 0.0;
    // It sends its address twice at the start of a reply (ddcutil
    // src/base/ddc_packets.c, "double 0x6e" quirk).
    bool doublesItsAddress = false;
    // What it reports for 0x10, whatever it holds: a Samsung LF27T35 always
    // reports 255 of 100 (#569). Absent: what it holds.
    std::optional<std::uint16_t> reportsLuminance;
    // It acknowledges a Set of 0x10 and keeps its value (in its own auto
    // mode, #323).
    bool ignoresSets = false;

    // One write transfer at `now` (seconds, on the caller's clock): the
    // bytes after the address byte. False when the monitor does not
    // acknowledge it.
    bool write(const std::uint8_t* bytes, std::size_t size, double now = 0.0);
    // One read transfer of `size` bytes. False when not acknowledged.
    bool read(std::uint8_t* out, std::size_t size, double now = 0.0);

    // Every write transfer, as it arrived, and the Set VCP values taken.
    std::vector<std::vector<std::uint8_t>> messages;
    std::vector<std::uint16_t> sets;
    int getRequests = 0;
    int readTransfers = 0;

  private:
    void answerGet(std::uint8_t code);
    std::vector<std::uint8_t> reply_;
    double replyReadyAt_ = 0.0;
    double busyUntil_ = -1.0;
};

}  // namespace platform::sim
