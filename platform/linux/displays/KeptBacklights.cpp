#include "linux/displays/KeptBacklights.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "linux/devices/DrmConnectors.h"
#include "linux/devices/ErrnoStatus.h"
#include "linux/displays/LogindBrightness.h"
#include "linux/displays/LogindSender.h"

namespace platform::linux_machine {

OpenBacklight::OpenBacklight(Backlight backlight, long long max, int fd, bool writable)
    : backlight_(std::move(backlight)), max_(max), fd_(fd), writable_(writable) {}

OpenBacklight::~OpenBacklight() {
    close(fd_);
}

std::unique_ptr<OpenBacklight> OpenBacklight::open(const Backlight& backlight, IOReturn* status) {
    long long max = 0;
    if ((*status = readBacklightMax(backlight, &max)))
        return nullptr;
    const std::string path = backlight.folder + "/brightness";
    bool writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    // A user may read the panel's brightness but not write it (logind writes).
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        *status = statusForErrno(errno);
        return nullptr;
    }
    *status = kIOReturnSuccess;
    return std::make_unique<OpenBacklight>(backlight, max, fd, writable);
}

// A sysfs attribute is shown afresh by a read at offset 0 and takes a write at
// offset 0 as a whole new value (Linux, Documentation/filesystems/sysfs.rst,
// "Reading/Writing Attribute Data"), so the kept file serves every call.
IOReturn OpenBacklight::readRaw(long long* raw) const {
    char buf[32];
    ssize_t n;
    do {
        n = pread(fd_, buf, sizeof buf - 1, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return statusForErrno(errno);
    std::size_t digits = 0;
    long long value = 0;
    while (digits < static_cast<std::size_t>(n) && digits < 18 && buf[digits] >= '0' &&
           buf[digits] <= '9') {
        value = value * 10 + (buf[digits] - '0');
        ++digits;
    }
    // The number and its line end fill the first line; anything else is garbled.
    const bool lineEnds = digits == static_cast<std::size_t>(n) || buf[digits] == '\n';
    if (digits == 0 || !lineEnds)
        return statusForErrno(EBADMSG);
    if (value > max_)
        return kIOReturnIOError;  // contradicts max_brightness
    *raw = value;
    return kIOReturnSuccess;
}

IOReturn OpenBacklight::readFraction(float* fraction) const {
    long long raw = 0;
    if (IOReturn status = readRaw(&raw))
        return status;
    *fraction = fractionOf(raw);
    return kIOReturnSuccess;
}

float OpenBacklight::fractionOf(long long raw) const {
    return lastWriteExplains(raw)
               ? lastWrite_->fraction
               : static_cast<float>(static_cast<double>(raw) / static_cast<double>(max_));
}

bool OpenBacklight::lastWriteExplains(long long raw) const {
    return lastWrite_ && raw == lastWrite_->raw;
}

IOReturn OpenBacklight::writeRaw(long long raw, Refused refused) {
    if (heldByCompositor_)
        return kIOReturnBusy;
    IOReturn status = kIOReturnNotPermitted;
    if (writable_) {
        // On sysfs the offset is all that counts; a plain file standing in for
        // one keeps what a longer earlier value left after the first line end.
        const std::string text = std::to_string(raw) + "\n";
        ssize_t n;
        do {
            n = pwrite(fd_, text.data(), text.size(), 0);
        } while (n < 0 && errno == EINTR);
        status = n < 0                                        ? statusForErrno(errno)
                 : static_cast<std::size_t>(n) == text.size() ? kIOReturnSuccess
                                                              : kIOReturnIOError;
        // The compositor holds the backlight: not written again while it is
        // open, and not handed to logind, which writes the same file.
        heldByCompositor_ = n < 0 && errno == EBUSY;
    }
    // A user without write access to sysfs may still change a backlight of
    // the session's own seat through logind (systemd's
    // src/login/logind-session-dbus.c, method_set_brightness).
    if (status == kIOReturnNotPermitted && refused == Refused::AskLogind) {
        if (logindCallsMustNotWait()) {
            // Sent from a thread of its own; a refusal is logged when it comes.
            sendLogindBacklight(backlight_.name, static_cast<std::uint32_t>(raw));
            status = kIOReturnSuccess;
        } else {
            status = logindSetBacklight(backlight_.name, static_cast<std::uint32_t>(raw));
            refusedByLogind_ = status != kIOReturnSuccess;
        }
    }
    if (status != kIOReturnSuccess)
        lastWrite_.reset();
    return status;
}

IOReturn OpenBacklight::writeFraction(double fraction, Refused refused) {
    auto raw = backlightRawValue(fraction, max_, backlight_.builtin);
    if (!raw)
        return kIOReturnBadArgument;
    IOReturn status = writeRaw(*raw, refused);
    if (status == kIOReturnSuccess)
        lastWrite_ = Written{*raw, static_cast<float>(std::clamp(fraction, 0.0, 1.0))};
    return status;
}

bool deviceGone(IOReturn status) {
    return status == kIOReturnNoDevice || status == kIOReturnNotFound ||
           status == kIOReturnNotAttached;
}

void KeptBacklights::refresh() {
    if (changes_.changed())
        forget();
}

void KeptBacklights::forget() {
    list_.reset();
    for (const auto& [name, backlight] : open_) {
        if (backlight->lastWrite())
            lastWrites_[name] = *backlight->lastWrite();
    }
    open_.clear();
    builtinNames_.clear();
    builtinDisplays_.clear();
    identities_.clear();
}

const std::vector<Backlight>& KeptBacklights::list() {
    if (!list_)
        list_ = listBacklights();
    return *list_;
}

OpenBacklight* KeptBacklights::named(const std::string& name, IOReturn* status) {
    auto it = open_.find(name);
    if (it != open_.end()) {
        *status = kIOReturnSuccess;
        return it->second.get();
    }
    auto backlight = findBacklight(name);
    if (!backlight) {
        *status = kIOReturnNoDevice;
        return nullptr;
    }
    auto opened = OpenBacklight::open(*backlight, status);
    if (!opened)
        return nullptr;
    if (auto kept = lastWrites_.find(name); kept != lastWrites_.end()) {
        opened->rememberWrite(kept->second);
        lastWrites_.erase(kept);
    }
    return open_.emplace(name, std::move(opened)).first->second.get();
}

OpenBacklight* KeptBacklights::builtinOf(CGDirectDisplayID display, IOReturn* status) {
    auto it = builtinNames_.find(display);
    if (it == builtinNames_.end()) {
        std::string found;
        for (const auto& b : list()) {
            if (b.builtin && b.connector && displayIdentifierFor(*b.connector) == display) {
                found = b.name;
                break;
            }
        }
        if (found.empty()) {
            *status = kIOReturnNotFound;
            return nullptr;
        }
        it = builtinNames_.emplace(display, found).first;
    }
    return named(it->second, status);
}

bool KeptBacklights::isBuiltinDisplay(CGDirectDisplayID display) {
    auto it = builtinDisplays_.find(display);
    if (it == builtinDisplays_.end()) {
        auto connector = findDrmConnector(display);
        it = builtinDisplays_.emplace(display, connector && connector->builtin).first;
    }
    return it->second;
}

EdidIdentity KeptBacklights::identityOfConnector(const std::string& name) {
    auto it = identities_.find(name);
    if (it == identities_.end()) {
        auto connector = findDrmConnectorNamed(name);
        it = identities_.emplace(name, connector ? connectorIdentity(*connector) : EdidIdentity{})
                 .first;
    }
    return it->second;
}

}  // namespace platform::linux_machine
