#include "support/FuseI2cBus.h"

#include <linux/i2c-dev.h>

#include <algorithm>
#include <cerrno>

#include "support/Waiting.h"

namespace testing_support {
namespace {

constexpr unsigned long kMonitorAddress = 0x37;
constexpr unsigned long kEdidAddress = 0x50;

}  // namespace

void FuseI2cBus::onTransfer(std::function<void(char)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

FuseI2cBus::Reply FuseI2cBus::finish(char kind, double started, std::vector<std::uint8_t> bytes,
                                     bool acknowledged, std::size_t size) {
    Reply r;
    r.result = acknowledged ? static_cast<int>(size) : -ENXIO;
    if (acknowledged && monitorTransferErrno && kind != 'E')
        r.result = -monitorTransferErrno;
    r.delaySeconds = transferSeconds_;
    if ((kind == 'R' || kind == 'E') && acknowledged)
        r.data = bytes;
    transfers_.push_back({kind, started, started + transferSeconds_, std::move(bytes), r.result});
    return r;
}

void FuseI2cBus::notify(char kind) {
    std::function<void(char)> observer;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
    }
    if (observer)
        observer(kind);  // outside the lock: it may look at the node itself
}

FuseI2cBus::Reply FuseI2cBus::write(std::uint64_t file, const std::uint8_t* bytes,
                                    std::size_t size) {
    notify('W');
    std::lock_guard lock(mutex_);
    const double started = steadySeconds();
    if (addresses_[file] == kEdidAddress) {
        const bool there = edidAt0x50 != EdidAt0x50::Nobody && !edid.empty();
        if (there && size > 0)
            edidOffset_ = bytes[0];
        return finish('E', started, {bytes, bytes + size}, there, size);
    }
    const bool atMonitor = addresses_[file] == kMonitorAddress;
    const bool acknowledged = atMonitor && monitor_.write(bytes, size, started);
    return finish('W', started, {bytes, bytes + size}, acknowledged, size);
}

FuseI2cBus::Reply FuseI2cBus::read(std::uint64_t file, std::size_t size, std::uint64_t) {
    notify('R');
    std::lock_guard lock(mutex_);
    const double started = steadySeconds();
    std::vector<std::uint8_t> bytes(size);
    if (addresses_[file] == kEdidAddress) {
        const bool there = edidAt0x50 != EdidAt0x50::Nobody && !edid.empty();
        std::vector<std::uint8_t> memory = edid;
        memory.resize(std::max<std::size_t>(256, memory.size()), 0);
        if (edidAt0x50 == EdidAt0x50::SecondBlockFirst)
            std::rotate(memory.begin(), memory.begin() + 128, memory.begin() + 256);
        for (std::size_t i = 0; there && i < size; ++i) {
            const std::size_t at = edidOffset_ + i;
            bytes[i] = edidAt0x50 == EdidAt0x50::Zeros ? 0 : memory[at % memory.size()];
        }
        return finish('E', started, std::move(bytes), there, size);
    }
    const bool atMonitor = addresses_[file] == kMonitorAddress;
    const bool acknowledged = atMonitor && monitor_.read(bytes.data(), size, started);
    return finish('R', started, std::move(bytes), acknowledged, size);
}

FuseI2cBus::Reply FuseI2cBus::ioctl(std::uint64_t file, unsigned command, unsigned long argument) {
    Reply r;
    if (command != I2C_SLAVE && command != I2C_SLAVE_FORCE) {
        r.result = -ENOTTY;
        return r;
    }
    if (argument > 0x7f) {
        r.result = -EINVAL;
        return r;
    }
    std::lock_guard lock(mutex_);
    if (argument == kMonitorAddress && monitorAddressErrno && command == I2C_SLAVE) {
        r.result = -monitorAddressErrno;
        return r;
    }
    addresses_[file] = argument;
    return r;
}

void FuseI2cBus::release(std::uint64_t file) {
    std::lock_guard lock(mutex_);
    addresses_.erase(file);
}

}  // namespace testing_support
