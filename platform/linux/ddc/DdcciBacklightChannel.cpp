#include "linux/ddc/DdcciBacklightChannel.h"

#include <algorithm>
#include <cstdio>

#include "formats/DdcCiDisplaySide.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/displays/Backlights.h"
#include "linux/displays/KeptBacklights.h"

namespace platform::linux_machine {
namespace {

// Get VCP Feature is 51 82 01 code checksum, Set VCP Feature 51 84 03 code
// high low checksum (VESA DDC/CI 1.1; IOKit/DdcCiDisplaySide.h for the reply).
constexpr std::uint8_t kLuminance = 0x10;

}  // namespace

std::string ddcciBacklightOf(const std::string& adapterFolder, int bus) {
    char client[16];
    std::snprintf(client, sizeof client, "%d-0037", bus);
    const std::string name = "ddcci" + std::to_string(bus);
    const std::string folder = adapterFolder + "/" + client + "/" + name + "/backlight/" + name;
    return pathExists(folder + "/brightness") ? folder : std::string();
}

DdcciBacklightChannel::DdcciBacklightChannel(std::string backlightFolder,
                                             std::vector<std::uint8_t> edid,
                                             std::string description)
    : folder_(std::move(backlightFolder)),
      edid_(std::move(edid)),
      description_(std::move(description)) {}

DdcciBacklightChannel::~DdcciBacklightChannel() = default;

void DdcciBacklightChannel::markRemoved() {
    std::lock_guard lock(mutex_);
    removed_ = true;
    backlight_.reset();
}

void DdcciBacklightChannel::close() {
    std::lock_guard lock(mutex_);
    backlight_.reset();
}

IOReturn DdcciBacklightChannel::copyEDID(std::vector<std::uint8_t>* edid) {
    std::lock_guard lock(mutex_);
    if (removed_)
        return kIOReturnNotAttached;
    *edid = edid_;
    return kIOReturnSuccess;
}

IOReturn DdcciBacklightChannel::answerGet(std::uint8_t code) {
    if (code != kLuminance) {
        reply_ = ddcGetVcpReply(0x01, code, 0, 0);  // not a control the driver offers
        return kIOReturnSuccess;
    }
    long long now = 0;
    // actual_brightness asks the monitor itself (the driver's
    // get_brightness reads the control), so a change on its own buttons shows.
    const auto actual = readCount(folder_ + "/actual_brightness");
    if (actual) {
        now = *actual;
    } else if (IOReturn status = backlight_->readRaw(&now)) {
        return status;
    }
    reply_ = ddcGetVcpReply(0x00, code, static_cast<std::uint16_t>(backlight_->max()),
                            static_cast<std::uint16_t>(now));
    return kIOReturnSuccess;
}

IOReturn DdcciBacklightChannel::writeI2C(std::uint32_t chipAddress, std::uint32_t dataAddress,
                                         const std::uint8_t* buffer, std::uint32_t size) {
    std::lock_guard lock(mutex_);
    if (removed_)
        return kIOReturnNotAttached;
    if (chipAddress != 0x37 || dataAddress != 0x51 || size < 2 || (buffer[0] & 0x7F) + 2u > size)
        return kIOReturnNotResponding;
    if (!backlight_) {
        IOReturn status = kIOReturnSuccess;
        backlight_ =
            OpenBacklight::open(Backlight{baseName(folder_), folder_, "raw", false, {}}, &status);
        if (!backlight_)
            return status;
    }
    const std::uint8_t* data = buffer + 1;
    const std::size_t length = buffer[0] & 0x7F;
    if (length == 2 && data[0] == 0x01)
        return answerGet(data[1]);
    if (length == 4 && data[0] == 0x03 && data[1] == kLuminance) {
        const long long value = std::min<long long>(data[2] << 8 | data[3], backlight_->max());
        return backlight_->writeRaw(value);
    }
    return kIOReturnSuccess;  // taken, and nothing the driver can do with it
}

IOReturn DdcciBacklightChannel::readI2C(std::uint32_t chipAddress, std::uint32_t,
                                        std::uint8_t* buffer, std::uint32_t size) {
    std::lock_guard lock(mutex_);
    if (removed_)
        return kIOReturnNotAttached;
    if (chipAddress != 0x37)
        return kIOReturnNotResponding;
    std::vector<std::uint8_t> answer = reply_;
    if (answer.empty())
        answer = kDdcNullMessage;  // nothing asked
    reply_.clear();
    std::fill(buffer, buffer + size, 0);
    std::copy_n(answer.begin(), std::min<std::size_t>(size, answer.size()), buffer);
    return kIOReturnSuccess;
}

}  // namespace platform::linux_machine
