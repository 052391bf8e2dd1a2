// The USB monitor watcher: which devices count, when they are reported, and
// what an attach and a detach do.
#include "EngineTestSupport.h"
#include "engine/AppleMonitorProducts.h"

namespace engine_testing {
namespace {

class MonitorWatcher : public EngineTest {
  protected:
    MonitorWatcher() {
        setFlatCurve(0.6, 0.3);
        setAmbientLevel(3.0);
        displays.setAllOptionalOperationsPresent();
        displays.addBuiltinDisplay(1, 0.2);
        displays.addExternalDisplay(9);
    }
    const std::unordered_set<IOHIDDeviceRef>& monitors() {
        return BrightnessController::sharedInstance()->externalMonitors();
    }
};

TEST_F(MonitorWatcher, MatchingListHasTheTwelveInTableOrderThenTheNewerDisplays) {
    const std::vector<std::int64_t> expected{0x9215, 0x9217, 0x9218, 0x9219, 0x921C,
                                             0x921E, 0x9220, 0x9221, 0x9226, 0x9227,
                                             0x9232, 0x9236, 0x1114, 0x9243};
    auto list = duolume::appleMonitorMatchingList();
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto* dict = list[i].dictionaryValue();
        ASSERT_NE(dict, nullptr);
        EXPECT_EQ(*dict, (NSDictionary{{"ProductID", PlistValue::integer(expected[i])},
                                       {"VendorID", PlistValue::integer(1452)}}));
    }
}

TEST_F(MonitorWatcher, OnlyListedAppleProductsAreReported) {
    auto& listed = hid.plugInAppleMonitor(0x9236);
    auto& gap = hid.plugInAppleMonitor(0x9216);
    auto& otherVendor = hid.addDevice(0x046d, 0x9226);
    hid.plugIn(otherVendor);
    engine();
    EXPECT_EQ(monitors(), (std::unordered_set<IOHIDDeviceRef>{&listed}));
    EXPECT_TRUE(gap.sent.empty());
    EXPECT_TRUE(otherVendor.sent.empty());
}

TEST_F(MonitorWatcher, MonitorPresentAtStartIsFoundOnceTheRunLoopRuns) {
    auto& monitor = hid.plugInAppleMonitor(0x9226, 0x7FFF);
    BrightnessController::sharedInstance();
    EXPECT_TRUE(monitors().empty());  // nothing is delivered before the loop runs
    sim.runFor(0.01);
    EXPECT_EQ(monitors().count(&monitor), 1u);
    // The attach's sync request fades both displays onto the curve.
    EXPECT_EQ(payloadsSent(monitor).size(), 100u);
    EXPECT_EQ(monitor.brightnessRaw(), static_cast<std::uint16_t>(0.3 * 65535.0));
    EXPECT_NEAR(displays.find(1)->brightness, 0.6, 1e-6);
}

TEST_F(MonitorWatcher, ArrivalsAndRemovalsWaitForTheDefaultMode) {
    engine();
    auto& monitor = hid.plugInAppleMonitor();
    CFRunLoopRunInMode("OtherMode", 1.0, false);
    EXPECT_TRUE(monitors().empty());
    sim.runFor(0.01);
    EXPECT_EQ(monitors().size(), 1u);
    hid.plugOut(monitor);
    EXPECT_EQ(monitors().size(), 1u);
    sim.runFor(0.01);
    EXPECT_TRUE(monitors().empty());
}

TEST_F(MonitorWatcher, AttachingTwiceKeepsOneElementAndSyncsTwice) {
    auto& monitor = hid.plugInAppleMonitor();
    auto& engine = this->engine();  // reported once: a 100-step fade onto the curve
    ASSERT_EQ(payloadsSent(monitor).size(), 100u);
    const auto builtinWrites = displays.writes.size();
    engine.displayAttached(&monitor);
    engine.displayAttached(&monitor);
    EXPECT_EQ(monitors().size(), 1u);
    // Each request finds both displays on the curve already: one write each, no fade.
    EXPECT_EQ(payloadsSent(monitor).size(), 102u);
    EXPECT_EQ(displays.writes.size(), builtinWrites + 2);
}

TEST_F(MonitorWatcher, DetachRemovesSilently) {
    auto& monitor = hid.plugInAppleMonitor();
    auto& engine = this->engine();
    auto& stranger = hid.addDevice(0x05ac, 0x9227);
    const auto writesBefore = displays.writes.size();
    engine.displayDetached(&stranger);
    EXPECT_EQ(monitors().size(), 1u);
    markCalls();
    hid.plugOut(monitor);
    sim.runFor(0.01);
    EXPECT_TRUE(monitors().empty());
    EXPECT_EQ(displays.writes.size(), writesBefore);
    EXPECT_EQ(countCallsSinceMark("IOHIDDeviceSetReport"), 0);
    EXPECT_EQ(countCallsSinceMark("CGGetActiveDisplayList"), 0);
}

TEST_F(MonitorWatcher, ManagerThatCannotBeCreatedIsLoggedAndNotUsed) {
    hid.managerCreationFails = true;
    hid.plugInAppleMonitor();
    engine();
    EXPECT_EQ(sim.logLines, (std::vector<std::string>{"IOHIDManagerCreate returned nil"}));
    EXPECT_EQ(std::count_if(sim.calls.begin(), sim.calls.end(),
                            [](auto& c) { return c.rfind("IOHIDManager", 0) == 0; }),
              1);
    EXPECT_TRUE(monitors().empty());
}

TEST_F(MonitorWatcher, FailedOpenIsLoggedAndTheEngineCarriesOn) {
    hid.openStatus = kIOReturnNotPrivileged;
    hid.plugInAppleMonitor();
    auto* engine = BrightnessController::sharedInstance();
    EXPECT_NE(engine, nullptr);
    sim.runFor(0.01);
    EXPECT_EQ(sim.logLines, (std::vector<std::string>{"IOHIDManagerOpen error 0xe00002c1"}));
    EXPECT_TRUE(monitors().empty());
}

TEST_F(MonitorWatcher, SetUpCallsInOrder) {
    BrightnessController::sharedInstance();
    // The USB monitor watcher first; the DDC/CI monitors' watch follows it.
    ASSERT_GE(sim.calls.size(), 6u);
    sim.calls.resize(6);
    EXPECT_EQ(sim.calls, (std::vector<std::string>{
                             "IOHIDManagerCreate(0x0)",
                             "IOHIDManagerSetDeviceMatchingMultiple(14)",
                             "IOHIDManagerRegisterDeviceMatchingCallback()",
                             "IOHIDManagerRegisterDeviceRemovalCallback()",
                             "IOHIDManagerScheduleWithRunLoop(kCFRunLoopDefaultMode)",
                             "IOHIDManagerOpen(0x0)",
                         }));
}

}  // namespace
}  // namespace engine_testing
