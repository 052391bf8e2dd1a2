#include "agent/DisplayHolds.h"

#include <cmath>

namespace duolume {
namespace {

// A reading within this of the held value is the held value read again (a
// panel's cell is a float, a monitor's field a whole number of steps).
constexpr double kSameValue = 0.002;

}  // namespace

bool DisplayHolds::noticed(DisplayKind kind, double value, double level, std::int64_t now) {
    auto& hold = holds_[index(kind)];
    if (hold && std::fabs(hold->value - value) <= kSameValue)
        return false;
    hold = Hold{value, level, now};
    return true;
}

std::array<bool, 2> DisplayHolds::endFarFrom(double level) {
    std::array<bool, 2> ended{};
    for (std::size_t i = 0; i < holds_.size(); ++i) {
        if (holds_[i] && std::fabs(level - holds_[i]->level) >= 1.0) {
            holds_[i].reset();
            ended[i] = true;
        }
    }
    return ended;
}

bool DisplayHolds::end(DisplayKind kind) {
    auto& hold = holds_[index(kind)];
    const bool was = hold.has_value();
    hold.reset();
    return was;
}

void DisplayHolds::endAll() {
    holds_ = {};
}

}  // namespace duolume
