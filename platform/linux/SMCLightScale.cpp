#include "linux/SMCLightScale.h"

#include <algorithm>
#include <cmath>

namespace platform::linux_machine {

std::uint64_t controllerValueForSMCLight(std::uint8_t smcValue) {
    const double level = 10.0 * smcValue / 255.0;
    const double inverse = std::ceil(std::pow(1.0 + level, 7.5) - 1.0);
    return std::max<std::uint64_t>(smcValue, static_cast<std::uint64_t>(inverse));
}

void controllerValuesForSMCLight(const SMCLightValues& values, bool pairSeen,
                                 std::uint64_t outputs[2]) {
    outputs[0] = controllerValueForSMCLight(values.left);
    outputs[1] = pairSeen ? controllerValueForSMCLight(values.right) : outputs[0];
}

}  // namespace platform::linux_machine
