// The USB identity of a HID device from its uevent: the kernel writes the
// line "HID_ID=<bus>:<vendor>:<product>" in hexadecimal, for example
// "HID_ID=0003:000005AC:00009226".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::linux_machine {

struct HidID {
    std::uint32_t bus = 0;
    std::int32_t vendor = 0;
    std::int32_t product = 0;
    bool operator==(const HidID&) const = default;
};

// Absent when no line of `uevent` is a well-formed HID_ID: three hexadecimal
// fields of one to eight digits, vendor and product within 16 bits.
std::optional<HidID> parseHidID(std::string_view uevent);

}  // namespace platform::linux_machine
