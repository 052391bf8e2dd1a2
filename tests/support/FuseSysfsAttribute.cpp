#include "support/FuseSysfsAttribute.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>

namespace testing_support {

std::string FuseSysfsAttribute::value() const {
    std::lock_guard lock(mutex_);
    return value_;
}

void FuseSysfsAttribute::refuseWrites(int error) {
    std::lock_guard lock(mutex_);
    refusal_ = error;
}

int FuseSysfsAttribute::writesTried() const {
    std::lock_guard lock(mutex_);
    return tried_;
}

FuseSysfsAttribute::Reply FuseSysfsAttribute::write(std::uint64_t, const std::uint8_t* bytes,
                                                    std::size_t size) {
    std::lock_guard lock(mutex_);
    ++tried_;
    if (refusal_)
        return {-refusal_, {}, 0};
    value_.assign(reinterpret_cast<const char*>(bytes), size);
    return {static_cast<int>(size), {}, 0};
}

FuseSysfsAttribute::Reply FuseSysfsAttribute::read(std::uint64_t, std::size_t size,
                                                   std::uint64_t offset) {
    std::lock_guard lock(mutex_);
    Reply r;
    if (offset < value_.size())
        r.data.assign(value_.begin() + static_cast<std::ptrdiff_t>(offset),
                      value_.begin() + static_cast<std::ptrdiff_t>(
                                           std::min<std::uint64_t>(value_.size(), offset + size)));
    r.result = static_cast<int>(r.data.size());
    return r;
}

FuseSysfsAttribute::Reply FuseSysfsAttribute::ioctl(std::uint64_t, unsigned, unsigned long) {
    return {-ENOTTY, {}, 0};
}

}  // namespace testing_support
