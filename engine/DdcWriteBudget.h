// When a DDC/CI monitor is sent a new brightness: its writes are budgeted.
//
// Many monitors store the brightness in their settings memory at every Set
// VCP Feature, and that memory takes a limited number of writes. Others who
// drive monitors over DDC/CI keep writes few for that reason: powerdevil
// writes only after the value has stopped changing ("to reduce display
// EEPROM writes", KDE/powerdevil fd277d84b; 500 ms today,
// daemon/controllers/ddcutildisplay.cpp s_debounceInterval) and never writes
// a value the monitor already has (e6ce2b027); vdu_controls 2.0.3 ("Frugal
// Writes") writes a slider's value once it has been still for 0.5 s, ignores
// ambient changes under 10 % and adjusts for the light every 5 minutes.
//
// So, here:
// - nothing is sent while the wanted value keeps changing: a fade costs one
//   write, its target, 0.5 s after its last step;
// - a change of 10 % of the monitor's range or more goes then;
// - a smaller one is gathered: it goes once it has stood for 5 minutes (the
//   monitor differing from the wanted value all along) and 5 minutes have
//   passed since the monitor's last write, so slow light (dusk) costs a
//   write every 5 minutes at most, sensor noise around a step none, and the
//   monitor strays from the curve by less than 10 % meanwhile;
// - at most 48 writes in any 24 hours; after that, one every 30 minutes.
//   Settings memories are rated for tens of thousands of writes; 48 a day is
//   17 520 a year, so a memory rated for 100 000 lasts more than five years
//   of every day's use, and a day of ordinary light (bench/DdcWritesBench)
//   stays well below it.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

namespace duolume {

class DdcWriteBudget {
  public:
    inline static constexpr double kStillSeconds = 0.5;
    inline static constexpr double kLargeShare = 0.10;
    inline static constexpr double kGatherSeconds = 300.0;
    inline static constexpr std::size_t kWritesPerDay = 48;
    inline static constexpr double kSpentIntervalSeconds = 1800.0;

    struct Wanted {
        std::uint16_t value = 0;
        double since = 0;      // unchanged since then
        double differing = 0;  // and the monitor has shown something else since then
    };
    // When `wanted` is to be sent to a monitor that shows `shown` of
    // `maximum` (times on one clock, seconds); absent when there is nothing
    // to send. The time may be in the past.
    std::optional<double> sendAt(const Wanted& wanted, std::uint16_t shown,
                                 std::uint16_t maximum) const;
    // A write made at `when`.
    void sent(double when);
    // Writes made in the 24 hours before `now`.
    std::size_t writesInADay(double now) const;

  private:
    std::deque<double> writes_;  // the last kWritesPerDay writes, oldest first
};

}  // namespace duolume
