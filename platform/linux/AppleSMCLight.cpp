#include "linux/AppleSMCLight.h"

#include <unistd.h>

#include <charconv>

#include "linux/Sysroot.h"

namespace platform::linux_machine {
namespace {

// A whole unsigned decimal number filling `text`.
std::optional<std::uint64_t> parseUnsigned(std::string_view text) {
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::string AppleSMCLight::attributePath() {
    return underSysroot("/sys/devices/platform/applesmc.768/light");
}

bool AppleSMCLight::present() {
    return ::access(attributePath().c_str(), F_OK) == 0;
}

std::optional<SMCLightValues> AppleSMCLight::parse(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.size() < 5 || text.front() != '(' || text.back() != ')')
        return std::nullopt;
    text = text.substr(1, text.size() - 2);
    auto comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    auto left = parseUnsigned(text.substr(0, comma));
    auto right = parseUnsigned(text.substr(comma + 1));
    if (!left || !right)
        return std::nullopt;
    return SMCLightValues{*left, *right};
}

std::optional<SMCLightValues> AppleSMCLight::read() {
    auto text = readTextFile(attributePath());
    if (!text)
        return std::nullopt;
    return parse(*text);
}

}  // namespace platform::linux_machine
