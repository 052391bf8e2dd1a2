// Numbers in sysfs text files ("123", "0.250000", "-5"), parsed the same way
// whatever the process's locale (a Qt program sets the user's locale, whose
// decimal separator may be a comma).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::linux_machine {

// A finite decimal number filling the whole text, surrounding white space
// allowed; absent when garbled.
std::optional<double> parseDecimal(std::string_view text);
// The first line of `path` as such a number; absent when unreadable or garbled.
std::optional<double> readDecimal(const std::string& path);

}  // namespace platform::linux_machine
