// Ordering the names the kernel numbers ("iio:device10", "1-10:1.0") by their
// numbers, so that "iio:device2" comes before "iio:device10".
#pragma once

#include <string>

namespace platform::linux_machine {

// True when `a` comes before `b`, runs of digits compared as numbers.
bool numberedBefore(const std::string& a, const std::string& b);

}  // namespace platform::linux_machine
