#include "engine/DdcWriteBudget.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace duolume {
namespace {

constexpr double kDay = 24 * 3600.0;

}  // namespace

std::optional<double> DdcWriteBudget::sendAt(const Wanted& wanted, std::uint16_t shown,
                                             std::uint16_t maximum) const {
    if (wanted.value == shown)
        return std::nullopt;
    const int difference = std::abs(static_cast<int>(wanted.value) - static_cast<int>(shown));
    const bool large = difference >= std::ceil(kLargeShare * maximum);
    double at = wanted.since + kStillSeconds;
    if (!large) {
        at = std::max(at, wanted.differing + kGatherSeconds);
        if (!writes_.empty())
            at = std::max(at, writes_.back() + kGatherSeconds);
    }
    if (writes_.size() >= kWritesPerDay && writes_.front() > at - kDay)
        at = std::max(at, writes_.back() + kSpentIntervalSeconds);
    return at;
}

void DdcWriteBudget::sent(double when) {
    writes_.push_back(when);
    while (writes_.size() > kWritesPerDay)
        writes_.pop_front();
}

std::size_t DdcWriteBudget::writesInADay(double now) const {
    return static_cast<std::size_t>(
        std::count_if(writes_.begin(), writes_.end(), [&](double w) { return w > now - kDay; }));
}

}  // namespace duolume
