// A number as the platform's journals and log lines show flags, addresses
// and statuses: "0x1f".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

inline std::string hexText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

}  // namespace platform
