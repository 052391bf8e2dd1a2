// A sysfs attribute served through FuseHidraw, for what plain files cannot
// show: a read at offset 0 shows the whole value and one past it nothing, a
// write at offset 0 replaces it, and once the node is removed its open files
// answer ENODEV, as the kernel answers on an attribute of a removed device
// (kernfs_get_active failing in kernfs_fop_write_iter and kernfs_seq_start,
// Linux fs/kernfs/file.c).
#pragma once

#include <mutex>
#include <string>

#include "support/FuseHidraw.h"

namespace testing_support {

class FuseSysfsAttribute : public FuseHidraw::Node {
  public:
    explicit FuseSysfsAttribute(std::string value) : value_(std::move(value)) {}

    std::string value() const;
    // Every write from now on fails with `error` (0: none does), as a
    // backlight the compositor holds answers EBUSY; the writes tried so far.
    void refuseWrites(int error);
    int writesTried() const;

    Reply write(std::uint64_t file, const std::uint8_t* bytes, std::size_t size) override;
    Reply read(std::uint64_t file, std::size_t size, std::uint64_t offset) override;
    Reply ioctl(std::uint64_t file, unsigned command, unsigned long argument) override;

  private:
    mutable std::mutex mutex_;
    std::string value_;
    int refusal_ = 0;
    int tried_ = 0;
};

}  // namespace testing_support
