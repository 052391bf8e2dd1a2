#include "linux/SysfsDecimal.h"

#include <charconv>
#include <cmath>

#include "linux/Sysroot.h"

namespace platform::linux_machine {

std::optional<double> parseDecimal(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    double value = 0.0;
    auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> readDecimal(const std::string& path) {
    auto line = readTrimmedLine(path);
    if (!line)
        return std::nullopt;
    return parseDecimal(*line);
}

}  // namespace platform::linux_machine
