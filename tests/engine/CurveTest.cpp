// The curve look-up: interpolation between whole levels and the rules that
// stop a request.
#include <limits>
#include <optional>

#include "EngineTestSupport.h"
#include "support/SimAppleMonitor.h"

namespace engine_testing {
namespace {

using Op = OptionalDisplayOperation;
using duolume::kExternalPrefix;
using duolume::kInternalPrefix;

class Curve : public EngineTest {
  protected:
    Curve() {
        // CoreDisplay writes the built-in display's target as the exact double.
        displays.setPresent(Op::CoreDisplaySetUserBrightness, true);
        displays.addBuiltinDisplay(1, 0.5);
        displays.addExternalDisplay(9);
        monitor = &testing_support::plugInAppleMonitor(hid, 0x9226, 0x7FFF);
        engine();
        monitor->sent.clear();
        displays.writes.clear();
    }
    void lookUp(double level) {
        BrightnessController::sharedInstance()->updateDisplayBrightnessForAmbientLight(level,
                                                                                       false);
    }
    bool nothingWritten() const { return displays.writes.empty() && monitor->sent.empty(); }
    double builtinTarget() const { return displays.writes.at(0).value; }
    std::uint16_t monitorTarget() const { return testing_support::reportSixteen(*monitor); }
    static std::uint16_t raw(double fraction) {
        return static_cast<std::uint16_t>(fraction * 65535.0);
    }

    SimHIDDevice* monitor = nullptr;
};

// The two points around a level, each curve's: what the look-up makes of them.
struct LookUpCase {
    const char* name;
    double level;
    double internalLow, internalHigh, externalLow, externalHigh;
    std::optional<double> builtin;  // absent: nothing is written anywhere
    double external;
};

TEST_F(Curve, LooksUpBetweenTheTwoPointsAroundTheLevel) {
    const LookUpCase cases[] = {
        {"fraction", 4.5, 0.4, 0.5, 0.2, 0.6, 0.45, 0.2 + 0.5 * (0.6 - 0.2)},
        // The point above a whole level takes no part.
        {"whole level", 7.0, 0.73, 0.99, 0.31, 0.99, 0.73, 0.31},
        {"zero beside non-zero", 0.5, 0.0, 0.1, 0.0, 0.2, 0.05, 0.1},
        {"both internal zero", 2.5, 0.0, 0.0, 0.5, 0.5, std::nullopt, 0},
        {"both external zero", 2.5, 0.5, 0.5, 0.0, 0.0, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int low = static_cast<int>(c.level);
        setPoint(kInternalPrefix, low, c.internalLow);
        setPoint(kInternalPrefix, low + 1, c.internalHigh);
        setPoint(kExternalPrefix, low, c.externalLow);
        setPoint(kExternalPrefix, low + 1, c.externalHigh);
        markCalls();
        lookUp(c.level);
        if (!c.builtin) {
            EXPECT_TRUE(nothingWritten());
            EXPECT_TRUE(callsSinceMark().empty());
        } else {
            EXPECT_DOUBLE_EQ(builtinTarget(), *c.builtin);
            EXPECT_EQ(monitorTarget(), raw(c.external));
        }
        displays.writes.clear();
        monitor->sent.clear();
    }
}

TEST_F(Curve, OneSettingsReadServesAllFourPoints) {
    setFlatCurve(0.6, 0.3);
    auto& counter = countSettingsReads();
    lookUp(4.5);
    EXPECT_EQ(counter.reads, 1);
    EXPECT_FALSE(nothingWritten());
}

TEST_F(Curve, InitialSettingsAtLevelZeroChangeNothing) {
    settings() = duolume::initialSettings();
    lookUp(0.0);
    EXPECT_TRUE(nothingWritten());
    lookUp(0.5);  // 0.0 and 0.1 on both curves
    EXPECT_FALSE(nothingWritten());
}

TEST_F(Curve, NoSettingsDomainChangesNothing) {
    sim.simDefaults().domains.clear();
    lookUp(5.0);
    EXPECT_TRUE(nothingWritten());
}

TEST_F(Curve, NegativeAndNonNumericLevelsAreIgnoredWithoutReadingSettings) {
    setFlatCurve(0.6, 0.3);
    auto& counter = countSettingsReads();
    lookUp(-1.0);
    lookUp(-2.0);
    lookUp(-1e-9);
    lookUp(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(counter.reads, 0);
    EXPECT_TRUE(nothingWritten());
}

TEST_F(Curve, LevelsAboveTenReachForPointsThatDoNotExist) {
    setFlatCurve(0.6, 0.3);
    lookUp(10.5);  // halfway between the point at 10 and a missing one
    EXPECT_DOUBLE_EQ(builtinTarget(), 0.3);
    EXPECT_EQ(monitorTarget(), raw(0.15));
    displays.writes.clear();
    monitor->sent.clear();
    lookUp(11.0);
    lookUp(1e12);
    EXPECT_TRUE(nothingWritten());
}

TEST_F(Curve, StoredValuesOutsideTheRangePassUnclamped) {
    setFlatCurve(1.2, 0.5);
    lookUp(3.0);
    EXPECT_EQ(builtinTarget(), 1.2);
}

}  // namespace
}  // namespace engine_testing
