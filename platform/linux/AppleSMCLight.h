// The Apple SMC driver's light sensor pair (applesmc): the text "(left,right)"
// in <root>/sys/devices/platform/applesmc.768/light.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::linux_machine {

struct SMCLightValues {
    std::uint64_t left = 0;
    std::uint64_t right = 0;
    bool operator==(const SMCLightValues&) const = default;
};

class AppleSMCLight {
  public:
    static std::string attributePath();
    static bool present();
    // "(12,34)" with an optional line end; absent when garbled (negative values included).
    static std::optional<SMCLightValues> parse(std::string_view text);
    // The values read afresh; absent when unreadable or garbled.
    static std::optional<SMCLightValues> read();
};

}  // namespace platform::linux_machine
