// The Apple SMC driver's light sensor pair (applesmc): the text "(left,right)"
// in the `light` attribute of the SMC's platform device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::linux_machine {

// The driver prints both values as u8 (drivers/hwmon/applesmc.c,
// applesmc_light_show: "(%d,%d)\n" with `u8 left, right`).
struct SMCLightValues {
    std::uint8_t left = 0;
    std::uint8_t right = 0;
    bool operator==(const SMCLightValues&) const = default;
};

class AppleSMCLight {
  public:
    // The SMC's device folder: the one found last while it still has its
    // `light` attribute, else looked for again: the device bound to
    // the applesmc driver, else a platform device announcing
    // MODALIAS=platform:applesmc, else the name every kernel so far gives it
    // (applesmc.768). Only a device with a `light` attribute counts.
    static std::optional<std::string> deviceFolder();
    // The `light` attribute of that device; where there is none, where it
    // usually is (for messages).
    static std::string attributePath();
    static bool present();
    // "(12,34)" with an optional line end; absent when garbled, including
    // values outside 0..255, which the driver cannot print.
    static std::optional<SMCLightValues> parse(std::string_view text);
    // The values read afresh; absent when unreadable or garbled.
    static std::optional<SMCLightValues> read();
};

}  // namespace platform::linux_machine
