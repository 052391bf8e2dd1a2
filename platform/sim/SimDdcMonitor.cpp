#include "sim/SimDdcMonitor.h"

#include "formats/DdcCiDisplaySide.h"

#include <algorithm>

namespace platform::sim {
namespace {

constexpr std::uint8_t kHostSource = 0x51;
constexpr std::uint8_t kMonitorWriteAddress = 0x6E;
constexpr std::uint8_t kLuminance = 0x10;
constexpr std::uint8_t kAmbientLightSensor = 0x66;

std::uint8_t xorOf(const std::uint8_t* bytes, std::size_t size, std::uint8_t seed) {
    for (std::size_t i = 0; i < size; ++i)
        seed ^= bytes[i];
    return seed;
}

}  // namespace

bool SimDdcMonitor::write(const std::uint8_t* bytes, std::size_t size, double now) {
    if (behaviour == Behaviour::Silent || now < answersFrom)
        return false;
    messages.emplace_back(bytes, bytes + size);
    // source, length, data, checksum
    if (size < 3 || bytes[0] != kHostSource || !(bytes[1] & 0x80))
        return true;
    const std::size_t length = bytes[1] & 0x7F;
    if (size < length + 3 || xorOf(bytes, length + 2, kMonitorWriteAddress) != bytes[length + 2])
        return true;
    const std::uint8_t* data = bytes + 2;
    if (length == 2 && data[0] == 0x01) {
        ++getRequests;
        reply_.clear();
        if (now >= busyUntil_)
            answerGet(data[1]);
        replyReadyAt_ = now + replySeconds;
    } else if (length == 4 && data[0] == 0x03 && data[1] == kLuminance) {
        const auto value = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
        sets.push_back(value);
        if (!ignoresSets)
            current = std::min(value, maximum);
        busyUntil_ = now + busyAfterSetSeconds;
    } else if (length == 4 && data[0] == 0x03 && data[1] == kAmbientLightSensor && lightSensor) {
        lightSensor = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    }
    return true;
}

void SimDdcMonitor::answerGet(std::uint8_t code) {
    const bool sensor = code == kAmbientLightSensor && lightSensor;
    const bool known = code == kLuminance || sensor;
    const std::uint16_t max = sensor ? 2 : known ? maximum : 0;
    const std::uint16_t reported = reportsLuminance.value_or(current);
    const std::uint16_t now = sensor
                                  ? static_cast<std::uint16_t>(lightSensorHigh << 8 | *lightSensor)
                              : known ? reported
                                      : 0;
    reply_ = ddcGetVcpReply(known ? 0x00 : 0x01, code, max, now);
    if (behaviour == Behaviour::BadChecksum)
        reply_.back() ^= 0xFF;
    if (doublesItsAddress)
        reply_.insert(reply_.begin(), kMonitorWriteAddress);
}

bool SimDdcMonitor::read(std::uint8_t* out, std::size_t size, double now) {
    if (behaviour == Behaviour::Silent || now < answersFrom)
        return false;
    ++readTransfers;
    std::vector<std::uint8_t> answer = reply_;
    if (answer.empty() || now < replyReadyAt_)
        answer = kDdcNullMessage;
    else
        reply_.clear();
    std::fill(out, out + size, 0);
    std::copy_n(answer.begin(), std::min(size, answer.size()), out);
    return true;
}

}  // namespace platform::sim
