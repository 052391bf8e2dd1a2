// The built-in display's three routes, their order and their gates.
#include <gmock/gmock.h>

#include "EngineTestSupport.h"

namespace engine_testing {
namespace {

using Op = OptionalDisplayOperation;

class BuiltinDisplayRoutes : public EngineTest {
  protected:
    BuiltinDisplayRoutes() {
        displays.addBuiltinDisplay(kBuiltin, 0.25);
        engine();
    }
    BrightnessController& controller() { return *BrightnessController::sharedInstance(); }
    static constexpr CGDirectDisplayID kBuiltin = 1;
};

TEST_F(BuiltinDisplayRoutes, DisplayServicesSucceedingIsTheOnlyRouteAsked) {
    displays.setAllOptionalOperationsPresent();
    markCalls();
    EXPECT_EQ(controller().getBrightness(kBuiltin), 0.25);
    controller().setBrightness(0.75, kBuiltin);
    EXPECT_EQ(callsSinceMark(), (std::vector<std::string>{
                                    "CGDisplayIsBuiltin(1)",
                                    "DisplayServicesGetBrightness(1)",
                                    "CGDisplayIsBuiltin(1)",
                                    "DisplayServicesSetBrightness(1, 0.75)",
                                }));
    EXPECT_EQ(displays.find(kBuiltin)->brightness, 0.75);
}

TEST_F(BuiltinDisplayRoutes, ReadFallsToTheServiceWhenCapabilityTestSaysNo) {
    displays.setAllOptionalOperationsPresent();
    displays.displayServicesGetStatus = 5;
    displays.canChangeBrightness = false;
    markCalls();
    EXPECT_EQ(controller().getBrightness(kBuiltin), 0.25);
    EXPECT_EQ(countCallsSinceMark("CoreDisplay_"), 0);
    EXPECT_EQ(countCallsSinceMark("IODisplayGetFloatParameter("), 1);
    EXPECT_TRUE(sim.logLines.empty());
}

TEST_F(BuiltinDisplayRoutes, WithoutCapabilityTestReadsUseTheServiceAndWritesUseCoreDisplay) {
    displays.setPresent(Op::CoreDisplayGetUserBrightness, true);
    displays.setPresent(Op::CoreDisplaySetUserBrightness, true);
    markCalls();
    EXPECT_EQ(controller().getBrightness(kBuiltin), 0.25);
    EXPECT_EQ(countCallsSinceMark("IODisplayGetFloatParameter("), 1);
    EXPECT_EQ(countCallsSinceMark("CoreDisplay_Display_GetUserBrightness"), 0);

    markCalls();
    controller().setBrightness(0.3, kBuiltin);
    EXPECT_EQ(callsSinceMark(), (std::vector<std::string>{
                                    "CGDisplayIsBuiltin(1)",
                                    "CoreDisplay_Display_SetUserBrightness(1, 0.29999999999999999)",
                                }));
}

TEST_F(BuiltinDisplayRoutes, CoreDisplayReadPassesThroughSinglePrecision) {
    displays.setAllOptionalOperationsPresent();
    displays.setPresent(Op::DisplayServicesGetBrightness, false);
    displays.find(kBuiltin)->brightness = 0.1;
    EXPECT_EQ(controller().getBrightness(kBuiltin), 0.10000000149011612);
}

TEST_F(BuiltinDisplayRoutes, EachWriteRouteGetsItsOwnPrecision) {
    const double single = static_cast<float>(0.3);
    displays.setAllOptionalOperationsPresent();
    controller().setBrightness(0.3, kBuiltin);  // route 1
    displays.displayServicesSetStatus = 7;
    controller().setBrightness(0.3, kBuiltin);  // route 2
    displays.canChangeBrightness = false;
    controller().setBrightness(0.3, kBuiltin);  // route 3
    const io_service_t service = displays.services.front().handle;
    EXPECT_EQ(displays.writes, (std::vector<SimBrightnessWrite>{
                                   {"DisplayServicesSetBrightness", kBuiltin, single},
                                   {"CoreDisplay_Display_SetUserBrightness", kBuiltin, 0.3},
                                   {"IODisplaySetFloatParameter", service, single},
                               }));
}

TEST_F(BuiltinDisplayRoutes, ServiceRouteFailuresAreLoggedAndReadGivesZero) {
    // No optional operation; the only service belongs to another display.
    displays.services.front().info = displays.infoDictionary(0x610, 0xa051, 77);
    markCalls();
    EXPECT_EQ(controller().getBrightness(kBuiltin), 0.0);
    controller().setBrightness(0.6, kBuiltin);
    EXPECT_EQ(countCallsSinceMark("IODisplayGetFloatParameter(0, 0x0, brightness)"), 1);
    EXPECT_EQ(sim.logLines,
              (std::vector<std::string>{
                  "IODisplayGetFloatParameter error 0xe00002c2 while retrieving brightness for "
                  "internal display",
                  "IODisplaySetFloatParameter error 0xe00002c2 while setting brightness for "
                  "internal display",
              }));
    EXPECT_EQ(displays.find(kBuiltin)->brightness, 0.25);
}

TEST_F(BuiltinDisplayRoutes, ServiceParameterFailureStatusIsLogged) {
    displays.services.front().getStatus = kIOReturnNotResponding;
    displays.services.front().setStatus = kIOReturnNotPrivileged;
    controller().getBrightness(kBuiltin);
    controller().setBrightness(0.6, kBuiltin);
    ASSERT_EQ(sim.logLines.size(), 2u);
    EXPECT_THAT(sim.logLines[0],
                ::testing::StartsWith("IODisplayGetFloatParameter error 0xe00002ed "));
    EXPECT_THAT(sim.logLines[1],
                ::testing::StartsWith("IODisplaySetFloatParameter error 0xe00002c1 "));
}

}  // namespace
}  // namespace engine_testing
