#include "linux/hid/HidrawDevice.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "linux/devices/ErrnoStatus.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/hid/HidReportDescriptor.h"

namespace platform::linux_machine {
namespace {

// The ioctl size field holds 14 bits; one byte goes to the report ID.
constexpr CFIndex kMaxPayload = (1 << 14) - 2;

int ioctlRetrying(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

}  // namespace

HidrawDevice::HidrawDevice(std::string node, std::int32_t vendorID, std::int32_t productID,
                           std::string descriptorFile)
    : LinuxHIDDevice(vendorID, productID),
      node_(std::move(node)),
      descriptorFile_(std::move(descriptorFile)) {}

FindingReason HidrawDevice::access() const {
    if (removed())
        return FindingReason::NotPresent;
    if (::access(node_.c_str(), R_OK | W_OK) == 0)
        return FindingReason::InUse;
    return errno == ENOENT ? FindingReason::NoDeviceNode : FindingReason::PermissionDenied;
}

const std::vector<__IOHIDElement>& HidrawDevice::elements() const {
    // The kernel's HID_MAX_DESCRIPTOR_SIZE is 4096 (include/linux/hid.h).
    if (!elements_) {
        auto descriptor = readBinaryFile(descriptorFile_, 4096);
        elements_ = descriptor ? hidReportElements(*descriptor) : std::vector<__IOHIDElement>{};
    }
    return *elements_;
}

HidrawDevice::~HidrawDevice() {
    close();
}

void HidrawDevice::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

IOReturn HidrawDevice::ensureOpen() {
    if (removed())
        return kIOReturnNotAttached;
    if (fd_ >= 0)
        return kIOReturnSuccess;
    fd_ = open(node_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd_ >= 0 ? kIOReturnSuccess : statusForErrno(errno);
}

IOReturn HidrawDevice::checkReport(IOHIDReportType type, CFIndex reportID, CFIndex length) {
    if (length < 0 || length > kMaxPayload || reportID < 0 || reportID > 255)
        return kIOReturnBadArgument;
    // Only feature reports are ever exchanged with a monitor.
    if (type != kIOHIDReportTypeFeature)
        return kIOReturnUnsupported;
    return ensureOpen();
}

IOReturn HidrawDevice::getReport(IOHIDReportType type, CFIndex reportID, std::uint8_t* report,
                                 CFIndex* length) {
    if (!report || !length)
        return kIOReturnBadArgument;
    if (IOReturn status = checkReport(type, reportID, *length))
        return status;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(*length) + 1, 0);
    buf[0] = static_cast<std::uint8_t>(reportID);
    int n = ioctlRetrying(fd_, HIDIOCGFEATURE(buf.size()), buf.data());
    if (n < 0)
        return statusForErrno(errno);
    // The answer starts with the report ID; the caller gets what follows it.
    CFIndex payload = n > 0 ? std::min<CFIndex>(n - 1, *length) : 0;
    std::memcpy(report, buf.data() + 1, static_cast<std::size_t>(payload));
    *length = payload;
    return kIOReturnSuccess;
}

IOReturn HidrawDevice::setReport(IOHIDReportType type, CFIndex reportID, const std::uint8_t* report,
                                 CFIndex length) {
    if (!report && length > 0)
        return kIOReturnBadArgument;
    if (IOReturn status = checkReport(type, reportID, length))
        return status;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(length) + 1);
    buf[0] = static_cast<std::uint8_t>(reportID);
    if (length > 0)
        std::memcpy(buf.data() + 1, report, static_cast<std::size_t>(length));
    if (ioctlRetrying(fd_, HIDIOCSFEATURE(buf.size()), buf.data()) < 0)
        return statusForErrno(errno);
    return kIOReturnSuccess;
}

}  // namespace platform::linux_machine
