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

// The displays listed, in the platform's order (1 and 3 built in, 8 and 9
// not), and what a request of 0.75 inside and 0.25 outside writes: the
// built-in display's values, the monitor's payloads and, where it tells
// something, which displays were asked whether they are built in.
struct ArrangementCase {
    const char* name;
    std::vector<CGDirectDisplayID> listed;
    std::vector<double> builtinWrites;
    std::vector<std::vector<std::uint8_t>> payloads;
    std::vector<std::string> builtinTests;  // empty: not looked at
};

void PrintTo(const ArrangementCase& c, std::ostream* os) {
    *os << c.name;
}

class DisplayArrangement : public Transition,
                           public ::testing::WithParamInterface<ArrangementCase> {};

TEST_P(DisplayArrangement, EachDisplayTakesItsTarget) {
    for (CGDirectDisplayID id : GetParam().listed) {
        if (id == 1 || id == 3)
            displays.addBuiltinDisplay(id, 0.5);
        else
            displays.addExternalDisplay(id);
    }
    auto& monitor = testing_support::plugInAppleMonitor(hid);
    engine();
    monitor.sent.clear();
    markCalls();
    controller().setBrightnessForInternalDisplay(0.75, 0.25, false);
    EXPECT_EQ(builtinWrites(), GetParam().builtinWrites);
    EXPECT_EQ(payloadsSent(monitor), GetParam().payloads);
    if (!GetParam().builtinTests.empty()) {
        std::vector<std::string> builtinTests;
        for (const auto& call : callsSinceMark())
            if (call.rfind("CGDisplayIsBuiltin(", 0) == 0)
                builtinTests.push_back(call);
        EXPECT_EQ(builtinTests, GetParam().builtinTests);
    }
}

const std::vector<std::uint8_t> kQuarter{0xFF, 0x3F}, kThreeQuarters{0xFF, 0xBF};

INSTANTIATE_TEST_SUITE_P(
    Transition, DisplayArrangement,
    ::testing::Values(
        ArrangementCase{"BuiltinAlone", {1}, {0.75}, {}, {}},
        ArrangementCase{"BuiltinListedSecondIsExchangedFirst", {9, 1}, {0.75}, {kQuarter}, {}},
        // Only the first display is asked whether it is built in; then 9 is
        // read and written before 8, the pair exchanged, both at the
        // external target.
        ArrangementCase{"TwoExternal",
                        {8, 9},
                        {},
                        {kThreeQuarters, kQuarter},
                        {"CGDisplayIsBuiltin(8)", "CGDisplayIsBuiltin(9)", "CGDisplayIsBuiltin(8)",
                         "CGDisplayIsBuiltin(9)", "CGDisplayIsBuiltin(8)"}},
        // Alone, it follows the internal target: one read, one write.
        ArrangementCase{"ExternalAlone",
                        {9},
                        {},
                        {kThreeQuarters},
                        {"CGDisplayIsBuiltin(9)", "CGDisplayIsBuiltin(9)"}},
        ArrangementCase{"OnlyTheFirstTwoListed", {1, 8, 3}, {0.75}, {kQuarter}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

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

// Each of the hundred steps writes the built-in display first (listed
// second here), then the monitor, then waits 10 ms.
TEST_F(Transition, FadeTakesOneHundredStepsOverOneVirtualSecondBuiltinFirst) {
    displays.addExternalDisplay(9);
    displays.addBuiltinDisplay(1, 0.2);
    auto& monitor = testing_support::plugInAppleMonitor(hid, 0x9226, 0x7FFF);
    engine();
    monitor.sent.clear();
    markCalls();
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
