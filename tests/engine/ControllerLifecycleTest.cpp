// The one engine per process: creation, the guarded initialiser, failures.
#include "EngineTestSupport.h"

#include <algorithm>
#include "Foundation/NSException.h"
#include "support/SimAppleMonitor.h"

namespace engine_testing {
namespace {

using ControllerLifecycle = EngineTest;

TEST_F(ControllerLifecycle, SharedInstanceIsCreatedOnceWithOneWatcher) {
    auto* first = BrightnessController::sharedInstance();
    auto* second = BrightnessController::sharedInstance();
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::count(sim.calls.begin(), sim.calls.end(), "IOHIDManagerCreate(0x0)"), 1);
    EXPECT_EQ(hid.opens, 1);
    EXPECT_TRUE(first->externalMonitors().empty());
}

TEST_F(ControllerLifecycle, InitAfterSharedInstanceRaisesInternalInconsistency) {
    auto* shared = BrightnessController::sharedInstance();
    try {
        BrightnessController second;
        ADD_FAILURE() << "init ran although the shared instance exists";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
        EXPECT_EQ(e.reason(),
                  "[BrightnessController init] cannot be called; use +[BrightnessController "
                  "sharedInstance] instead");
    }
    EXPECT_EQ(BrightnessController::sharedInstance(), shared);
    EXPECT_EQ(hid.opens, 1);
}

TEST_F(ControllerLifecycle, InitBeforeSharedInstanceGivesAnIndependentEngine) {
    auto& monitor = testing_support::plugInAppleMonitor(hid);
    BrightnessController own;
    EXPECT_EQ(hid.opens, 1);
    auto* shared = BrightnessController::sharedInstance();
    EXPECT_NE(shared, &own);
    EXPECT_EQ(hid.opens, 2);
    sim.runFor(0.01);
    // Each engine's own watcher fills its own set.
    EXPECT_EQ(own.externalMonitors().count(&monitor), 1u);
    EXPECT_EQ(shared->externalMonitors().count(&monitor), 1u);
}

TEST_F(ControllerLifecycle, FailedBaseInitialisationStoresNothingAndTheNextCallRetries) {
    sim.rootObjectInitialisation = false;
    try {
        BrightnessController::sharedInstance();
        FAIL() << "no exception";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), "BrightnessControllerInitFailed");
        EXPECT_EQ(e.reason(), "Failed to init BrightnessController shared instance");
    }
    EXPECT_EQ(hid.opens, 0);
    sim.rootObjectInitialisation = true;
    EXPECT_NE(BrightnessController::sharedInstance(), nullptr);
    EXPECT_EQ(hid.opens, 1);
}

TEST_F(ControllerLifecycle, AnEngineThatGoesAwayIsNoLongerCalledByItsWatcher) {
    setFlatCurve(0.6, 0.3);
    displays.addBuiltinDisplay(1, 0.5);
    displays.setAllOptionalOperationsPresent();
    { BrightnessController own; }
    auto& monitor = testing_support::plugInAppleMonitor(hid);
    sim.runFor(0.01);
    // An attach reaching the engine would have made a sync request.
    EXPECT_TRUE(displays.writes.empty());
    EXPECT_TRUE(monitor.sent.empty());
}

}  // namespace
}  // namespace engine_testing
