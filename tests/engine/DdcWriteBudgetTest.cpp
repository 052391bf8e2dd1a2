// When a DDC/CI monitor is written: the budget's rules, case by case.
#include <gtest/gtest.h>

#include <optional>

#include "engine/DdcWriteBudget.h"

namespace {

using duolume::DdcWriteBudget;

struct BudgetCase {
    const char* name;
    std::uint16_t shown, wanted;
    double since, differing;  // of the wanted value
    std::optional<double> lastWrite;
    std::optional<double> at;  // when it goes; none: nothing to send
};

TEST(DdcWriteBudget, ALargeChangeGoesOnceStillASmallOneIsGathered) {
    const BudgetCase cases[] = {
        {"nothing to change", 40, 40, 0, 0, std::nullopt, std::nullopt},
        {"a fade's target: 0.5 s after its last step", 10, 90, 100, 99, 50.0, 100.5},
        {"a tenth of the range is large", 40, 50, 100, 100, 99.0, 100.5},
        {"less is gathered: 5 minutes standing", 40, 49, 100, 100, std::nullopt, 400},
        {"and 5 minutes after the last write", 40, 45, 100, 100, 350.0, 650},
        {"standing long enough already", 40, 45, 900, 100, 200.0, 900.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DdcWriteBudget budget;
        if (c.lastWrite)
            budget.sent(*c.lastWrite);
        const auto at = budget.sendAt({c.wanted, c.since, c.differing}, c.shown, 100);
        ASSERT_EQ(at.has_value(), c.at.has_value());
        if (at) {
            EXPECT_DOUBLE_EQ(*at, *c.at);
        }
    }
}

TEST(DdcWriteBudget, OnceADaysWritesAreSpentOneGoesEveryHalfHour) {
    DdcWriteBudget budget;
    for (std::size_t i = 0; i < DdcWriteBudget::kWritesPerDay; ++i)
        budget.sent(1000.0 + 60.0 * i);
    const double last = 1000.0 + 60.0 * (DdcWriteBudget::kWritesPerDay - 1);
    EXPECT_EQ(budget.writesInADay(last), DdcWriteBudget::kWritesPerDay);
    EXPECT_DOUBLE_EQ(*budget.sendAt({90, last + 1, last}, 10, 100), last + 1800);
    // A day after the first of them, the budget is there again.
    EXPECT_DOUBLE_EQ(*budget.sendAt({90, 1000.0 + 86400, last}, 10, 100), 1000.5 + 86400);
}

}  // namespace
