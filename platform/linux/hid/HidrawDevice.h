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

    IOReturn getReport(IOHIDReportType type, CFIndex reportID, std::uint8_t* report,
                       CFIndex* length) override;
    IOReturn setReport(IOHIDReportType type, CFIndex reportID, const std::uint8_t* report,
                       CFIndex length) override;
    std::string description() const override { return node_; }
    // The node's permissions for this user (access(2), no open).
    FindingReason access() const override;
    const std::vector<__IOHIDElement>& elements() const override;
    void close() override;

  private:
    // The call's arguments checked, then the node opened.
    IOReturn checkReport(IOHIDReportType type, CFIndex reportID, CFIndex length);
    IOReturn ensureOpen();

    std::string node_;
    std::string descriptorFile_;
    mutable std::optional<std::vector<__IOHIDElement>> elements_;
    int fd_ = -1;
};

}  // namespace platform::linux_machine
