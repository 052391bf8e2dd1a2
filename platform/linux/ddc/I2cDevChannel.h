// A display's I2C channel on Linux: the I2C adapter of its video link
// (LinuxAVServices.h finds it), reached through the kernel's i2c-dev driver
// as /dev/i2c-<N>. Where more than one bus may carry the monitor (a
// DisplayPort output's AUX adapter and the adapter its "ddc" link names, on
// amdgpu), they are tried in order: the first one on which the monitor
// acknowledges its address is its bus from then on. Each transfer is one
// write() or read() on
// that node after I2C_SLAVE has chosen the address (drivers/i2c/i2c-dev.c:
// i2cdev_write and i2cdev_read make one i2c_master_send or i2c_master_recv
// of the whole buffer; I2C_SLAVE takes a 7-bit address and answers EBUSY
// when a kernel driver owns it). The bus lock is an advisory flock on the
// node, as ddcutil and libddcutil take it (rockowitz/ddcutil v2.2.7
// src/i2c/i2c_bus_core.c, src/base/flock.c), so neither interleaves with us.
//
// Its calls come from one thread at a time (the display's own queue); the
// main thread only marks it removed, without waiting for a transfer.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "machine/AVServiceBackend.h"

namespace platform::linux_machine {

struct I2cDevBus {
    std::string node;         // /dev/i2c-N, under the sysroot
    std::string description;  // for log lines: "/dev/i2c-11 (AMDGPU DM aux hw bus 3)"
};

// The display's output, to tell whether it is lit: its DRM connector's
// folder, and whether the driver's attributes can be trusted.
struct DrmOutput {
    std::string folder;  // empty: no connector is known
    bool trusted = true;
};

class I2cDevChannel : public AVServiceChannel {
  public:
    I2cDevChannel(std::vector<I2cDevBus> buses, std::vector<std::uint8_t> edid,
                  DrmOutput output = {});
    I2cDevChannel(std::string node, std::vector<std::uint8_t> edid)
        : I2cDevChannel({{std::move(node), {}}}, std::move(edid)) {}

    // The display went away: every call fails from now on, and the node is
    // closed once a transfer under way has returned.
    void markRemoved();

    IOReturn copyEDID(std::vector<std::uint8_t>* edid) override;
    IOReturn writeI2C(std::uint32_t chipAddress, std::uint32_t dataAddress,
                      const std::uint8_t* buffer, std::uint32_t size) override;
    IOReturn readI2C(std::uint32_t chipAddress, std::uint32_t offset, std::uint8_t* buffer,
                     std::uint32_t size) override;
    IOReturn lockBus() override;
    void unlockBus() override;
    void close() override;
    AVOutputState outputState() override;
    std::string describeBus() override;

  private:
    struct OpenNode;
    // The open node, opened at first use; null once removed or when it
    // cannot be opened (`status` says why).
    std::shared_ptr<OpenNode> node(IOReturn* status);
    std::shared_ptr<OpenNode> addressed(std::uint32_t chipAddress, IOReturn* status);
    // After a write nobody acknowledged on a bus not yet known to be the
    // monitor's: moves on to the next one; false when there is none.
    bool tryNextBus();

    const std::vector<I2cDevBus> buses_;
    const std::vector<std::uint8_t> edid_;
    const DrmOutput output_;
    std::size_t current_ = 0;  // guarded by mutex_
    bool settled_ = false;     // the monitor acknowledged on buses_[current_]
    std::mutex mutex_;         // guards the two below, never held across a system call
    std::shared_ptr<OpenNode> open_;
    bool removed_ = false;
    std::shared_ptr<OpenNode> locked_;
};

// The EDID at address 0x50 of the bus at `node` (its base block), as
// ddcutil reads it: offset 0 written, 256 bytes read, the block taken where
// its header is, since a DisplayPort MST hub has been seen to give the
// second block first (rockowitz/ddcutil 554e33f3, "incorrect EDID bytes read
// for MST display"), tried 4 times. Absent when nothing valid comes back;
// `why` then says what came (for a journal line). Nothing stays open.
std::optional<std::vector<std::uint8_t>> readEdidAt0x50(const std::string& node, std::string* why);

}  // namespace platform::linux_machine
