#include "linux/light/SMCLightScale.h"

#include <algorithm>
#include <cmath>

namespace platform::linux_machine {
namespace {

// The single reading from which the level is 10.
constexpr double kSingleReadingAtTheTop = 16.0;

}  // namespace

std::uint64_t controllerValueForLevel(double level) {
    return static_cast<std::uint64_t>(std::ceil(std::pow(1.0 + level, 7.5) - 1.0));
}

double controllerLevelForOutputs(const std::uint64_t outputs[2]) {
    const double average = static_cast<double>(outputs[0] + outputs[1]) * 0.5 + 1.0;
    return std::min(std::pow(average, 2.0 / 15.0) - 1.0, 10.0);
}

std::uint64_t controllerValueForSMCLight(std::uint8_t smcValue) {
    return std::max<std::uint64_t>(smcValue, controllerValueForLevel(10.0 * smcValue / 255.0));
}

std::uint64_t controllerValueForSingleSMCLight(std::uint8_t smcValue) {
    const double level = 10.0 * std::log1p(smcValue) / std::log1p(kSingleReadingAtTheTop);
    return controllerValueForLevel(std::min(level, 10.0));
}

void controllerValuesForSMCLight(const SMCLightValues& values, bool pairSeen,
                                 std::uint64_t outputs[2]) {
    if (!pairSeen) {
        outputs[0] = outputs[1] = controllerValueForSingleSMCLight(values.left);
        return;
    }
    outputs[0] = controllerValueForSMCLight(values.left);
    outputs[1] = controllerValueForSMCLight(values.right);
}

}  // namespace platform::linux_machine
