// A display's I2C channel on Linux: the I2C adapter of its video link, which
// the DRM connector names in its "ddc" link, reached through the kernel's
// i2c-dev driver as /dev/i2c-<N>. Each transfer is one write() or read() on
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
#include <string>
#include <vector>

#include "IOKit/AVServiceBackend.h"

namespace platform::linux_machine {

class I2cDevChannel : public AVServiceChannel {
  public:
    I2cDevChannel(std::string node, std::vector<std::uint8_t> edid);

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

  private:
    struct OpenNode;
    // The open node, opened at first use; null once removed or when it
    // cannot be opened (`status` says why).
    std::shared_ptr<OpenNode> node(IOReturn* status);
    std::shared_ptr<OpenNode> addressed(std::uint32_t chipAddress, IOReturn* status);

    const std::string path_;
    const std::vector<std::uint8_t> edid_;
    std::mutex mutex_;  // guards the two below, never held across a system call
    std::shared_ptr<OpenNode> open_;
    bool removed_ = false;
    std::shared_ptr<OpenNode> locked_;
};

}  // namespace platform::linux_machine
