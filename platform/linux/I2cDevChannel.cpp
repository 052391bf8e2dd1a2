#include "linux/I2cDevChannel.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "linux/ErrnoStatus.h"

namespace platform::linux_machine {
namespace {

// How ddcutil waits for another holder of the bus: it tries every 100 ms for
// at most 3 s (rockowitz/ddcutil v2.2.7 src/base/parms.h,
// DEFAULT_FLOCK_POLL_MILLISEC and DEFAULT_FLOCK_MAX_WAIT_MILLISEC).
constexpr useconds_t kLockPollMicroseconds = 100000;
constexpr int kLockPolls = 30;

// An address phase nobody acknowledged comes back as ENXIO from I2C
// adapters (Documentation/i2c/fault-codes.rst), as EREMOTEIO through a
// DisplayPort AUX channel (drivers/gpu/drm/display/drm_dp_helper.c,
// drm_dp_i2c_do_msg on an I2C NACK). amdgpu's display core answers EIO,
// which stays an I/O error.
IOReturn transferStatus(int error) {
    if (error == ENXIO || error == EREMOTEIO)
        return kIOReturnNotResponding;
    return statusForErrno(error);
}

}  // namespace

struct I2cDevChannel::OpenNode {
    explicit OpenNode(int fd) : fd(fd) {}
    ~OpenNode() { ::close(fd); }
    OpenNode(const OpenNode&) = delete;
    OpenNode& operator=(const OpenNode&) = delete;
    const int fd;
    long address = -1;  // the slave address chosen on this descriptor
};

I2cDevChannel::I2cDevChannel(std::string node, std::vector<std::uint8_t> edid)
    : path_(std::move(node)), edid_(std::move(edid)) {}

void I2cDevChannel::markRemoved() {
    std::shared_ptr<OpenNode> closing;
    std::lock_guard lock(mutex_);
    removed_ = true;
    closing.swap(open_);  // closed here, or by a transfer still holding it
}

void I2cDevChannel::close() {
    std::shared_ptr<OpenNode> closing;
    std::lock_guard lock(mutex_);
    closing.swap(open_);  // closed here, or by a transfer still holding it
}

std::shared_ptr<I2cDevChannel::OpenNode> I2cDevChannel::node(IOReturn* status) {
    {
        std::lock_guard lock(mutex_);
        if (removed_) {
            *status = kIOReturnNotAttached;
            return nullptr;
        }
        if (open_)
            return open_;
    }
    const int fd = open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *status = statusForErrno(errno);
        return nullptr;
    }
    auto opened = std::make_shared<OpenNode>(fd);
    std::lock_guard lock(mutex_);
    if (removed_) {
        *status = kIOReturnNotAttached;
        return nullptr;
    }
    open_ = opened;
    return opened;
}

std::shared_ptr<I2cDevChannel::OpenNode> I2cDevChannel::addressed(std::uint32_t chipAddress,
                                                                  IOReturn* status) {
    auto open = node(status);
    if (!open || open->address == static_cast<long>(chipAddress))
        return open;
    if (ioctl(open->fd, I2C_SLAVE, static_cast<unsigned long>(chipAddress)) < 0) {
        *status = statusForErrno(errno);
        return nullptr;
    }
    open->address = chipAddress;
    return open;
}

IOReturn I2cDevChannel::copyEDID(std::vector<std::uint8_t>* edid) {
    std::lock_guard lock(mutex_);
    if (removed_)
        return kIOReturnNotAttached;
    *edid = edid_;
    return kIOReturnSuccess;
}

IOReturn I2cDevChannel::writeI2C(std::uint32_t chipAddress, std::uint32_t dataAddress,
                                 const std::uint8_t* buffer, std::uint32_t size) {
    IOReturn status = kIOReturnSuccess;
    auto open = addressed(chipAddress, &status);
    if (!open)
        return status;
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(dataAddress)};
    bytes.insert(bytes.end(), buffer, buffer + size);
    ssize_t written;
    do {
        written = write(open->fd, bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0)
        return transferStatus(errno);
    return written == static_cast<ssize_t>(bytes.size()) ? kIOReturnSuccess : kIOReturnIOError;
}

IOReturn I2cDevChannel::readI2C(std::uint32_t chipAddress, std::uint32_t, std::uint8_t* buffer,
                                std::uint32_t size) {
    IOReturn status = kIOReturnSuccess;
    auto open = addressed(chipAddress, &status);
    if (!open)
        return status;
    ssize_t got;
    do {
        got = read(open->fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return transferStatus(errno);
    return got == static_cast<ssize_t>(size) ? kIOReturnSuccess : kIOReturnIOError;
}

IOReturn I2cDevChannel::lockBus() {
    IOReturn status = kIOReturnSuccess;
    auto open = node(&status);
    if (!open)
        return status;
    for (int poll = 0;; ++poll) {
        if (flock(open->fd, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || poll == kLockPolls)
            return statusForErrno(errno);
        usleep(kLockPollMicroseconds);
    }
    std::lock_guard lock(mutex_);
    locked_ = std::move(open);
    return kIOReturnSuccess;
}

void I2cDevChannel::unlockBus() {
    std::shared_ptr<OpenNode> held;
    {
        std::lock_guard lock(mutex_);
        held.swap(locked_);
    }
    if (held)
        flock(held->fd, LOCK_UN);
}

}  // namespace platform::linux_machine
