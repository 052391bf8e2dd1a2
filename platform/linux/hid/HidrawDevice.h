// A HID device reached through its hidraw node. Feature reports travel with
// the report ID in the buffer's first byte (HIDIOCGFEATURE / HIDIOCSFEATURE).
//
// The node is opened read-write at the first report call and kept open, so a
// node number the kernel hands to another device after an unplug is never
// picked up by the old device object; an unplugged device's calls fail.
// The report descriptor is read when its elements are first asked for, so
// the descriptors of devices nobody matches are never read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "linux/hid/LinuxHIDDevice.h"

namespace platform::linux_machine {

class HidrawDevice final : public LinuxHIDDevice {
  public:
    // `descriptorFile`: where the kernel shows its report descriptor.
    HidrawDevice(std::string node, std::int32_t vendorID, std::int32_t productID,
                 std::string descriptorFile);
    ~HidrawDevice() override;
    HidrawDevice(const HidrawDevice&) = delete;
    HidrawDevice& operator=(const HidrawDevice&) = delete;

    std::int32_t vendorID() const override { return vendorID_; }
    std::int32_t productID() const override { return productID_; }
    IOReturn getReport(IOHIDReportType type, CFIndex reportID, std::uint8_t* report,
                       CFIndex* length) override;
    IOReturn setReport(IOHIDReportType type, CFIndex reportID, const std::uint8_t* report,
                       CFIndex length) override;
    std::string description() const override { return node_; }
    // The node's permissions for this user (access(2), no open).
    FindingReason access() const override;
    const std::vector<__IOHIDElement>& elements() const override;
    void markRemoved() override;
    void close() override;

  private:
    IOReturn ensureOpen();

    std::string node_;
    std::int32_t vendorID_;
    std::int32_t productID_;
    std::string descriptorFile_;
    mutable std::optional<std::vector<__IOHIDElement>> elements_;
    int fd_ = -1;
    bool removed_ = false;
};

}  // namespace platform::linux_machine
