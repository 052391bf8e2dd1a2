#include "linux/ddc/I2cDevChannel.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "formats/Edid.h"
#include "linux/devices/ErrnoStatus.h"
#include "linux/devices/SysfsFiles.h"

namespace platform::linux_machine {
namespace {

// How ddcutil waits for another holder of the bus: it tries every 100 ms for
// at most 3 s (rockowitz/ddcutil v2.2.7 src/base/parms.h,
// DEFAULT_FLOCK_POLL_MILLISEC and DEFAULT_FLOCK_MAX_WAIT_MILLISEC).
constexpr useconds_t kLockPollMicroseconds = 100000;
constexpr int kLockPolls = 30;

// An address phase nobody acknowledged comes back as ENXIO from I2C
// adapters (Documentation/i2c/fault-codes.rst): not responding. Through a
// DisplayPort AUX channel a NACK or a sink that keeps deferring gives
// EREMOTEIO (drivers/gpu/drm/display/drm_dp_helper.c, drm_dp_i2c_do_msg):
// not ready, which ddcutil tries again. amdgpu's display core answers EIO,
// which stays an I/O error.
IOReturn transferStatus(int error) {
    if (error == ENXIO)
        return kIOReturnNotResponding;
    if (error == EREMOTEIO)
        return kIOReturnNotReady;
    return statusForErrno(error);
}

bool nobodyThere(IOReturn status) {
    return status == kIOReturnNotResponding || status == kIOReturnNotReady ||
           status == kIOReturnIOError || status == kIOReturnNoDevice;
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

I2cDevChannel::I2cDevChannel(std::vector<I2cDevBus> buses, std::vector<std::uint8_t> edid,
                             DrmOutput output)
    : buses_(std::move(buses)), edid_(std::move(edid)), output_(std::move(output)) {}

bool I2cDevChannel::tryNextBus() {
    std::shared_ptr<OpenNode> closing;
    std::lock_guard lock(mutex_);
    if (settled_ || current_ + 1 >= buses_.size())
        return false;
    ++current_;
    closing.swap(open_);
    return true;
}

AVOutputState I2cDevChannel::outputState() {
    if (output_.folder.empty() || !output_.trusted)
        return AVOutputState::Unknown;
    // dpms "On" or "Off" (or "Standby", "Suspend"), enabled "enabled" or
    // "disabled" (drivers/gpu/drm/drm_sysfs.c, dpms_show and enabled_show).
    const auto dpms = readAttribute(output_.folder + "/dpms");
    const auto enabled = readAttribute(output_.folder + "/enabled");
    if ((dpms && *dpms != "On") || (enabled && *enabled == "disabled"))
        return AVOutputState::Off;
    return dpms || enabled ? AVOutputState::On : AVOutputState::Unknown;
}

std::string I2cDevChannel::describeBus() {
    std::lock_guard lock(mutex_);
    if (settled_ || buses_.size() == 1)
        return buses_[current_].description;
    std::string all = "tried ";
    for (std::size_t i = 0; i < buses_.size(); ++i)
        all += (i ? ", " : "") + buses_[i].description;
    return all;
}

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
    std::string path;
    {
        std::lock_guard lock(mutex_);
        path = buses_.at(current_).node;
    }
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
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
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(dataAddress)};
    bytes.insert(bytes.end(), buffer, buffer + size);
    for (;;) {
        IOReturn status = kIOReturnSuccess;
        auto open = addressed(chipAddress, &status);
        if (open) {
            ssize_t written;
            do {
                written = write(open->fd, bytes.data(), bytes.size());
            } while (written < 0 && errno == EINTR);
            status = written < 0                                     ? transferStatus(errno)
                     : written == static_cast<ssize_t>(bytes.size()) ? kIOReturnSuccess
                                                                     : kIOReturnIOError;
        }
        if (status == kIOReturnSuccess) {
            std::lock_guard lock(mutex_);
            settled_ = true;
            return status;
        }
        // Nothing was taken on this bus: the message may go to the next.
        if (!nobodyThere(status) || !tryNextBus())
            return status;
    }
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

std::optional<std::vector<std::uint8_t>> readEdidAt0x50(const std::string& node, std::string* why) {
    static constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *why = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> found;
    *why = "no EDID at 0x50";
    if (ioctl(fd, I2C_SLAVE, 0x50UL) < 0) {
        *why = std::string("0x50 cannot be addressed (") + std::strerror(errno) + ")";
    } else {
        for (int attempt = 0; attempt < 4 && !found; ++attempt) {
            const std::uint8_t offset = 0;
            std::vector<std::uint8_t> bytes(256, 0);
            if (write(fd, &offset, 1) != 1)
                break;  // nobody at 0x50
            const ssize_t got = read(fd, bytes.data(), bytes.size());
            if (got < 128)
                break;
            bytes.resize(static_cast<std::size_t>(got));
            for (std::size_t at : {std::size_t{0}, std::size_t{128}}) {
                if (at + 128 > bytes.size() || !std::equal(kHeader, kHeader + 8, &bytes[at]))
                    continue;
                std::vector<std::uint8_t> block(bytes.begin() + static_cast<long>(at),
                                                bytes.begin() + static_cast<long>(at + 128));
                if (parseEdid(block)) {
                    found = std::move(block);
                    break;
                }
            }
            if (!found)
                *why = std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0; })
                           ? "its EDID at 0x50 reads as zeros"
                           : "its EDID at 0x50 is not valid";
        }
    }
    ::close(fd);
    return found;
}

}  // namespace platform::linux_machine
