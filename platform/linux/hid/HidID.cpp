#include "linux/hid/HidID.h"

#include <charconv>

namespace platform::linux_machine {
namespace {

constexpr std::string_view kPrefix = "HID_ID=";

// A hexadecimal field of one to eight digits filling `text`.
std::optional<std::uint32_t> hexField(std::string_view text) {
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<HidID> parseLine(std::string_view line) {
    if (line.substr(0, kPrefix.size()) != kPrefix)
        return std::nullopt;
    line.remove_prefix(kPrefix.size());
    const auto first = line.find(':');
    const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    auto bus = hexField(line.substr(0, first));
    auto vendor = hexField(line.substr(first + 1, second - first - 1));
    auto product = hexField(line.substr(second + 1));
    if (!bus || !vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF)
        return std::nullopt;
    return HidID{*bus, static_cast<std::int32_t>(*vendor), static_cast<std::int32_t>(*product)};
}

}  // namespace

std::optional<HidID> parseHidID(std::string_view uevent) {
    while (!uevent.empty()) {
        const auto end = uevent.find('\n');
        if (auto id = parseLine(uevent.substr(0, end)))
            return id;
        if (end == std::string_view::npos)
            break;
        uevent.remove_prefix(end + 1);
    }
    return std::nullopt;
}

}  // namespace platform::linux_machine
