// The light sensor's sysfs values: any text in an IIO channel file or in the
// Apple SMC "light" attribute is either a finite number (a pair of whole
// numbers for the SMC) or rejected, never a crash.
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/FuzzTarget.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/light/AppleSMCLight.h"

using platform::linux_machine::AppleSMCLight;
using platform::linux_machine::parseDecimal;

DUOLUME_FUZZ_TARGET(sysfs_light_values) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto value = parseDecimal(text); value && !std::isfinite(*value))
        std::abort();

    if (auto pair = AppleSMCLight::parse(text)) {
        // What was accepted reads back the same once written in the driver's own form.
        const std::string canonical =
            "(" + std::to_string(pair->left) + "," + std::to_string(pair->right) + ")\n";
        if (AppleSMCLight::parse(canonical) != pair)
            std::abort();
    }
}
