// An I2C bus node with a DDC/CI monitor on it, served by FuseHidraw beside
// the hidraw nodes: /dev/i2c-<N> as the kernel's i2c-dev shows it to a
// program (drivers/i2c/i2c-dev.c). Each open file chooses its slave address
// with I2C_SLAVE (0x0703; its argument the 7-bit address, EINVAL above
// 0x7f); each write() and read() is one transfer to that address, done
// whole. Nobody acknowledging the address (nothing at it, or a silent
// monitor) fails the transfer with ENXIO, as most adapters answer a missing
// ACK (Documentation/i2c/fault-codes.rst). The monitor at 0x37 is
// platform/sim's SimDdcMonitor; its EDID answers at 0x50 as an EEPROM does
// (a write sets the offset, a read goes on from there; VESA E-DDC), or as
// the DisplayPort MST buses of rockowitz/ddcutil#585 and 554e33f3 do: all
// zeros, or the second block first.
//
// FUSE hands a regular file's ioctl to us with its argument when the
// command moves no data, as I2C_SLAVE does; I2C_RDWR points into the
// caller's memory and would need CUSE's unrestricted ioctls, so it is
// refused here (ENOTTY). The Linux stand-in uses write() and read(), which
// work the same on a real /dev/i2c-<N>.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "sim/SimDdcMonitor.h"
#include "support/FuseHidraw.h"

namespace testing_support {

class FuseI2cBus : public FuseHidraw::Node {
  public:
    // Each transfer takes `transferSeconds` (a slow monitor).
    explicit FuseI2cBus(double transferSeconds = 0.0) : transferSeconds_(transferSeconds) {}

    struct Transfer {
        char kind;       // 'W' or 'R' at the monitor, 'E' at its EDID (0x50)
        double started;  // steady clock, seconds
        double ended;
        std::vector<std::uint8_t> bytes;  // written, or read back
        int result;
    };

    enum class EdidAt0x50 { AsRecorded, Zeros, SecondBlockFirst, Nobody };
    // What 0x50 answers, and what I2C_SLAVE answers for 0x37 (EBUSY where a
    // kernel driver owns it: drivers/i2c/i2c-dev.c, i2cdev_check_addr);
    // set before the bus is used.
    std::vector<std::uint8_t> edid;
    EdidAt0x50 edidAt0x50 = EdidAt0x50::AsRecorded;
    int monitorAddressErrno = 0;
    // What every transfer to 0x37 fails with, where it fails (ENXIO,
    // EREMOTEIO, EIO; EINVAL as NVIDIA's driver gave it, rockowitz/ddcutil#507).
    int monitorTransferErrno = 0;

    // The monitor, its journal and the transfers; call with the lock held
    // (the file system's thread changes them).
    std::unique_lock<std::mutex> lock() { return std::unique_lock(mutex_); }
    platform::sim::SimDdcMonitor& monitor() { return monitor_; }
    const std::vector<Transfer>& transfers() const { return transfers_; }
    // Runs at the start of every transfer, on the file system's thread.
    void onTransfer(std::function<void(char kind)> observer);

    Reply write(std::uint64_t file, const std::uint8_t* bytes, std::size_t size) override;
    Reply read(std::uint64_t file, std::size_t size, std::uint64_t offset) override;
    Reply ioctl(std::uint64_t file, unsigned command, unsigned long argument) override;
    void release(std::uint64_t file) override;

  private:
    void notify(char kind);
    Reply finish(char kind, double started, std::vector<std::uint8_t> bytes, bool acknowledged,
                 std::size_t size);

    const double transferSeconds_;
    std::mutex mutex_;
    platform::sim::SimDdcMonitor monitor_;
    std::map<std::uint64_t, unsigned long> addresses_;  // by open file
    std::size_t edidOffset_ = 0;
    std::vector<Transfer> transfers_;
    std::function<void(char)> observer_;
};

}  // namespace testing_support
