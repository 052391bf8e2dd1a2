// Which display gets which target, and the one-second fade.
#include <gmock/gmock.h>

#include "EngineTestSupport.h"
#include "support/SimAppleMonitor.h"

namespace engine_testing {
namespace {

using ::testing::DoubleNear;

class Transition : public EngineTest {
  protected:
    Transition() { displays.setAllOptionalOperationsPresent(); }
    BrightnessController& controller() { return *BrightnessController::sharedInstance(); }
    // Values written to the built-in display through DisplayServices.
    std::vector<double> builtinWrites() const {
        std::vector<double> out;
        for (auto& w : displays.writes)
            out.push_back(w.value);
        return out;
    }
};

TEST_F(Transition, BuiltinDisplayAloneTakesTheInternalTarget) {
    displays.addBuiltinDisplay(1, 0.5);
    auto& monitor = testing_support::plugInAppleMonitor(hid);
    engine();
    monitor.sent.clear();
    controller().setBrightnessForInternalDisplay(0.75, 0.25, false);
    EXPECT_EQ(builtinWrites(), (std::vector<double>{0.75}));
    EXPECT_TRUE(monitor.sent.empty());
}

TEST_F(Transition, BuiltinDisplayListedSecondIsExchangedFirst) {
    displays.addExternalDisplay(9);
    displays.addBuiltinDisplay(1, 0.5);
    auto& monitor = testing_support::plugInAppleMonitor(hid);
    engine();
    monitor.sent.clear();
    controller().setBrightnessForInternalDisplay(0.75, 0.25, false);
    EXPECT_EQ(builtinWrites(), (std::vector<double>{0.75}));
    EXPECT_EQ(payloadsSent(monitor), (std::vector<std::vector<std::uint8_t>>{{0xFF, 0x3F}}));
}

TEST_F(Transition, TwoExternalDisplaysAreExchangedAndEndAtTheExternalTarget) {
    displays.addExternalDisplay(8);
    displays.addExternalDisplay(9);
    auto& monitor = testing_support::plugInAppleMonitor(hid);
    engine();
    monitor.sent.clear();
    markCalls();
    controller().setBrightnessForInternalDisplay(0.75, 0.25, false);
    // Only the first display is asked whether it is built in; then 9 is read
    // and written before 8, the pair exchanged.
    std::vector<std::string> builtinTests;
    for (const auto& call : callsSinceMark())
        if (call.rfind("CGDisplayIsBuiltin(", 0) == 0)
            builtinTests.push_back(call);
    EXPECT_EQ(builtinTests,
              (std::vector<std::string>{"CGDisplayIsBuiltin(8)", "CGDisplayIsBuiltin(9)",
                                        "CGDisplayIsBuiltin(8)", "CGDisplayIsBuiltin(9)",
                                        "CGDisplayIsBuiltin(8)"}));
    EXPECT_EQ(payloadsSent(monitor),
              (std::vector<std::vector<std::uint8_t>>{{0xFF, 0xBF}, {0xFF, 0x3F}}));
}

TEST_F(Transition, AnExternalDisplayAloneFollowsTheInternalTarget) {
    displays.addExternalDisplay(9);
    auto& monitor = testing_support::plugInAppleMonitor(hid);
    engine();
    monitor.sent.clear();
    markCalls();
    controller().setBrightnessForInternalDisplay(0.75, 0.25, false);
    EXPECT_EQ(countCallsSinceMark("CGDisplayIsBuiltin"), 2);  // one read, one write
    EXPECT_EQ(payloadsSent(monitor), (std::vector<std::vector<std::uint8_t>>{{0xFF, 0xBF}}));
}

TEST_F(Transition, OnlyTheFirstTwoListedDisplaysAreHandled) {
    displays.addBuiltinDisplay(1, 0.5);
    displays.addExternalDisplay(8);
    displays.addBuiltinDisplay(3, 0.5);
    engine();
    controller().setBrightnessForInternalDisplay(0.75, 0.25, false);
    EXPECT_EQ(displays.find(1)->brightness, 0.75);
    EXPECT_EQ(displays.find(3)->brightness, 0.5);
}

TEST_F(Transition, FailedDisplayListIsLoggedAndNothingElseHappens) {
    displays.addBuiltinDisplay(1, 0.5);
    displays.listStatus = kCGErrorFailure;
    engine();
    markCalls();
    controller().setBrightnessForInternalDisplay(0.75, 0.25, true);
    EXPECT_EQ(callsSinceMark(), (std::vector<std::string>{"CGGetActiveDisplayList(2)"}));
    EXPECT_EQ(
        sim.logLines,
        (std::vector<std::string>{"CGGetActiveDisplayList() failed to get active display list"}));
}

TEST_F(Transition, NoActiveDisplayMeansNoWork) {
    engine();
    markCalls();
    controller().setBrightnessForInternalDisplay(0.75, 0.25, true);
    EXPECT_EQ(callsSinceMark(), (std::vector<std::string>{"CGGetActiveDisplayList(2)"}));
}

TEST_F(Transition, FadeTakesOneHundredStepsOverOneVirtualSecond) {
    displays.addBuiltinDisplay(1, 0.2);
    displays.addExternalDisplay(9);
    auto& monitor = testing_support::plugInAppleMonitor(hid, 0x9226, 0x7FFF);
    engine();
    monitor.sent.clear();
    const double start = CFAbsoluteTimeGetCurrent();
    controller().setBrightnessForInternalDisplay(0.7, 0.49999237060546875, true);
    EXPECT_NEAR(CFAbsoluteTimeGetCurrent() - start, 1.0, 1e-9);
    EXPECT_EQ(sim.sleeps, std::vector<std::uint32_t>(100, 10000));

    auto writes = builtinWrites();
    ASSERT_EQ(writes.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_THAT(writes[i], DoubleNear(0.2 + 0.005 * (i + 1), 1e-6)) << "step " << i;
    // A monitor already at its target is written in every step all the same.
    EXPECT_EQ(payloadsSent(monitor),
              std::vector<std::vector<std::uint8_t>>(100, std::vector<std::uint8_t>{0xFF, 0x7F}));
}

TEST_F(Transition, EachFadeStepWritesTheBuiltinDisplayFirstThenWaits) {
    displays.addExternalDisplay(9);
    displays.addBuiltinDisplay(1, 0.2);
    testing_support::plugInAppleMonitor(hid, 0x9226, 0x7FFF);
    engine();
    markCalls();
    controller().setBrightnessForInternalDisplay(0.7, 0.2, true);
    std::vector<std::string> steps;
    for (auto& c : callsSinceMark()) {
        if (c.rfind("DisplayServicesSetBrightness", 0) == 0)
            steps.push_back("builtin");
        if (c.rfind("IOHIDDeviceSetReport", 0) == 0)
            steps.push_back("monitor");
        if (c.rfind("usleep", 0) == 0)
            steps.push_back("sleep");
    }
    ASSERT_EQ(steps.size(), 300u);
    for (std::size_t i = 0; i < steps.size(); i += 3)
        ASSERT_EQ((std::vector<std::string>{steps[i], steps[i + 1], steps[i + 2]}),
                  (std::vector<std::string>{"builtin", "monitor", "sleep"}));
}

TEST_F(Transition, SmallChangesAndUnsmoothedRequestsSkipTheFade) {
    displays.addBuiltinDisplay(1, 0.5);
    displays.addExternalDisplay(9);
    auto& monitor = testing_support::plugInAppleMonitor(hid, 0x9226, 0x7FFF);
    engine();
    monitor.sent.clear();
    controller().setBrightnessForInternalDisplay(0.505, 0.49999237060546875, true);
    EXPECT_EQ(builtinWrites(), (std::vector<double>{static_cast<float>(0.505)}));
    EXPECT_EQ(payloadsSent(monitor).size(), 1u);
    controller().setBrightnessForInternalDisplay(0.0, 1.0, false);
    EXPECT_EQ(builtinWrites().size(), 2u);
    EXPECT_TRUE(sim.sleeps.empty());
}

TEST_F(Transition, AChangeOfExactlyOneHundredthIsFaded) {
    // CoreDisplay reads and writes doubles, so the increment is exactly 0.0001.
    displays.addBuiltinDisplay(1, 0.0);
    displays.setPresent(OptionalDisplayOperation::DisplayServicesGetBrightness, false);
    displays.setPresent(OptionalDisplayOperation::DisplayServicesSetBrightness, false);
    engine();
    ASSERT_EQ((0.01 - 0.0) / 100.0, 0.0001);
    controller().setBrightnessForInternalDisplay(0.0099, 0.0, true);
    EXPECT_TRUE(sim.sleeps.empty());
    displays.find(1)->brightness = 0.0;
    controller().setBrightnessForInternalDisplay(0.01, 0.0, true);
    EXPECT_EQ(sim.sleeps.size(), 100u);
}

}  // namespace
}  // namespace engine_testing
