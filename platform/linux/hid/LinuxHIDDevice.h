// What the Linux HID back-end needs from each kind of device it reports, and
// what every kind keeps alike: its USB identity and whether it went away.
#pragma once

#include <cstdint>

#include "machine/HIDBackend.h"

namespace platform::linux_machine {

class LinuxHIDDevice : public HIDDevice {
  public:
    LinuxHIDDevice(std::int32_t vendorID, std::int32_t productID)
        : vendorID_(vendorID), productID_(productID) {}

    std::int32_t vendorID() const final { return vendorID_; }
    std::int32_t productID() const final { return productID_; }

    // The device went away: from now on its report calls fail with
    // kIOReturnNotAttached and it holds no system resources.
    void markRemoved() {
        removed_ = true;
        close();
    }

  protected:
    bool removed() const { return removed_; }

  private:
    std::int32_t vendorID_;
    std::int32_t productID_;
    bool removed_ = false;
};

}  // namespace platform::linux_machine
