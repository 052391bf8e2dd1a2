// The curve look-up: interpolation between whole levels and the rules that
// stop a request.
#include <limits>

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

TEST_F(Curve, FractionalLevelInterpolatesBothCurves) {
    setPoint(kInternalPrefix, 4, 0.4);
    setPoint(kInternalPrefix, 5, 0.5);
    setPoint(kExternalPrefix, 4, 0.2);
    setPoint(kExternalPrefix, 5, 0.6);
    lookUp(4.5);
    EXPECT_DOUBLE_EQ(builtinTarget(), 0.45);
    EXPECT_EQ(monitorTarget(), raw(0.2 + 0.5 * (0.6 - 0.2)));
}

TEST_F(Curve, OneSettingsReadServesAllFourPoints) {
    setFlatCurve(0.6, 0.3);
    auto& counter = countSettingsReads();
    lookUp(4.5);
    EXPECT_EQ(counter.reads, 1);
    EXPECT_FALSE(nothingWritten());
}

TEST_F(Curve, WholeLevelUsesItsPointAlone) {
    setPoint(kInternalPrefix, 7, 0.73);
    setPoint(kExternalPrefix, 7, 0.31);
    setPoint(kInternalPrefix, 8, 0.99);
    setPoint(kExternalPrefix, 8, 0.99);
    lookUp(7.0);
    EXPECT_EQ(builtinTarget(), 0.73);
    EXPECT_EQ(monitorTarget(), raw(0.31));
}

TEST_F(Curve, AZeroPointNextToANonZeroOneTakesPart) {
    setPoint(kInternalPrefix, 0, 0.0);
    setPoint(kInternalPrefix, 1, 0.1);
    setPoint(kExternalPrefix, 0, 0.0);
    setPoint(kExternalPrefix, 1, 0.2);
    lookUp(0.5);
    EXPECT_DOUBLE_EQ(builtinTarget(), 0.05);
    EXPECT_EQ(monitorTarget(), raw(0.1));
}

TEST_F(Curve, BothInternalPointsZeroStopsEverything) {
    setPoint(kInternalPrefix, 2, 0.0);
    setPoint(kInternalPrefix, 3, 0.0);
    setPoint(kExternalPrefix, 2, 0.5);
    setPoint(kExternalPrefix, 3, 0.5);
    markCalls();
    lookUp(2.5);
    EXPECT_TRUE(nothingWritten());
    EXPECT_TRUE(callsSinceMark().empty());
}

TEST_F(Curve, BothExternalPointsZeroStopsEverything) {
    setPoint(kInternalPrefix, 2, 0.5);
    setPoint(kInternalPrefix, 3, 0.5);
    lookUp(2.5);
    EXPECT_TRUE(nothingWritten());
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
