// The USB monitor watcher: which devices count, when they are reported, and
// what an attach and a detach do.
#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "EngineTestSupport.h"
#include "engine/AppleMonitorProducts.h"
#include "support/HidElements.h"
#include "support/SimAppleMonitor.h"

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

// The udev rule and the metainfo, as the build writes them, name exactly the
// products that are matched.
TEST(ProductTables, TheUdevRuleAndTheMetainfoNameExactlyTheMatchedProducts) {
    std::set<std::int64_t> matched;
    for (const auto& match : duolume::appleMonitorMatchingList())
        matched.insert(match.dictionaryValue()->at("ProductID").integerValue().value_or(0));
    const auto read = [](const char* path) {
        std::ifstream in(std::string(DUOLUME_BINARY_DIR) + path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const auto hexes = [](const std::string& text, const std::regex& re) {
        std::set<std::int64_t> found;
        for (std::sregex_iterator m(text.begin(), text.end(), re), end; m != end; ++m) {
            std::stringstream alternatives((*m)[1].str());
            for (std::string id; std::getline(alternatives, id, '|');)
                found.insert(std::stoll(id, nullptr, 16));
        }
        return found;
    };
    EXPECT_EQ(hexes(read("/packaging/org.duolume.Duolume.metainfo.xml"),
                    std::regex(R"re(<modalias>usb:v05ACp([0-9A-F]{4})d\*</modalias>)re")),
              matched);
    EXPECT_EQ(hexes(read("/packaging/udev/70-duolume.rules"),
                    std::regex(R"re(SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="05ac", )re"
                               R"re(ATTRS\{idProduct\}=="([0-9a-f|]+)")re")),
              matched);
}

// A monitor of every product the two tables list is attached and driven;
// the IDs beside each (0x9216 among them: the table is no range) and the
// same products of another vendor are never spoken to. Each device declares
// a brightness in report 1 of its Monitor collection and holds report 16, so
// it can be driven whichever way its product is.
TEST_F(MonitorWatcher, EveryListedProductIsDrivenAndNothingBesideIt) {
    std::set<std::int64_t> listed(duolume::kAppleMonitorProductIDs.begin(),
                                  duolume::kAppleMonitorProductIDs.end());
    for (const auto& more : duolume::kMoreAppleDisplayProducts)
        listed.insert(more.productID);
    const auto plugIn = [&](std::int64_t vendor, std::int64_t product) -> SimHIDDevice& {
        auto& device =
            hid.addDevice(static_cast<std::int32_t>(vendor), static_cast<std::int32_t>(product));
        device.elementList =
            testing_support::inMonitorCollection({testing_support::feature(1, 32, 400, 60000)});
        device.featureReports[1] = std::vector<std::uint8_t>(4, 0);
        testing_support::setReportSixteen(device, 0x8000);
        hid.plugIn(device);
        return device;
    };
    std::unordered_set<IOHIDDeviceRef> expected;
    std::vector<SimHIDDevice*> strangers;
    for (std::int64_t product : listed) {
        expected.insert(&plugIn(duolume::kAppleUSBVendorID, product));
        for (std::int64_t beside : {product - 1, product + 1})
            if (!listed.count(beside))
                strangers.push_back(&plugIn(duolume::kAppleUSBVendorID, beside));
        strangers.push_back(&plugIn(0x046d, product));
    }
    engine();
    EXPECT_EQ(monitors(), expected);
    for (IOHIDDeviceRef device : expected)
        EXPECT_FALSE(static_cast<const SimHIDDevice*>(device)->sent.empty())
            << std::hex << device->productID();
    for (const SimHIDDevice* stranger : strangers)
        EXPECT_TRUE(stranger->sent.empty())
            << std::hex << stranger->vendorID() << ":" << stranger->productID();
}

TEST_F(MonitorWatcher, MonitorPresentAtStartIsFoundOnceTheRunLoopRuns) {
    auto& monitor = testing_support::plugInAppleMonitor(hid, 0x9226, 0x7FFF);
    BrightnessController::sharedInstance();
    EXPECT_TRUE(monitors().empty());  // nothing is delivered before the loop runs
    sim.runFor(0.01);
    EXPECT_EQ(monitors().count(&monitor), 1u);
    // The attach's sync request fades both displays onto the curve.
    EXPECT_EQ(payloadsSent(monitor).size(), 100u);
    EXPECT_EQ(testing_support::reportSixteen(monitor), static_cast<std::uint16_t>(0.3 * 65535.0));
    EXPECT_NEAR(displays.find(1)->brightness, 0.6, 1e-6);
}

// A removal writes nothing and asks for no display list; one of a device that
// was never attached changes nothing.
TEST_F(MonitorWatcher, ArrivalsAndRemovalsWaitForTheDefaultModeAndARemovalIsSilent) {
    auto& engine = this->engine();
    auto& monitor = testing_support::plugInAppleMonitor(hid);
    CFRunLoopRunInMode("OtherMode", 1.0, false);
    EXPECT_TRUE(monitors().empty());
    sim.runFor(0.01);
    EXPECT_EQ(monitors().size(), 1u);
    engine.displayDetached(&hid.addDevice(0x05ac, 0x9227));
    EXPECT_EQ(monitors().size(), 1u);
    const auto writesBefore = displays.writes.size();
    markCalls();
    hid.plugOut(monitor);
    EXPECT_EQ(monitors().size(), 1u);
    sim.runFor(0.01);
    EXPECT_TRUE(monitors().empty());
    EXPECT_EQ(displays.writes.size(), writesBefore);
    EXPECT_EQ(countCallsSinceMark("IOHIDDeviceSetReport"), 0);
    EXPECT_EQ(countCallsSinceMark("CGGetActiveDisplayList"), 0);
}

TEST_F(MonitorWatcher, AttachingTwiceKeepsOneElementAndSyncsTwice) {
    auto& monitor = testing_support::plugInAppleMonitor(hid);
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

TEST_F(MonitorWatcher, ManagerThatCannotBeCreatedIsLoggedAndNotUsed) {
    hid.managerCreationFails = true;
    testing_support::plugInAppleMonitor(hid);
    engine();
    EXPECT_EQ(sim.logLines, (std::vector<std::string>{"IOHIDManagerCreate returned nil"}));
    EXPECT_EQ(std::count_if(sim.calls.begin(), sim.calls.end(),
                            [](auto& c) { return c.rfind("IOHIDManager", 0) == 0; }),
              1);
    EXPECT_TRUE(monitors().empty());
}

TEST_F(MonitorWatcher, FailedOpenIsLoggedAndTheEngineCarriesOn) {
    hid.openStatus = kIOReturnNotPrivileged;
    testing_support::plugInAppleMonitor(hid);
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
                             "IOHIDManagerSetDeviceMatchingMultiple(18)",
                             "IOHIDManagerRegisterDeviceMatchingCallback()",
                             "IOHIDManagerRegisterDeviceRemovalCallback()",
                             "IOHIDManagerScheduleWithRunLoop(kCFRunLoopDefaultMode)",
                             "IOHIDManagerOpen(0x0)",
                         }));
}

}  // namespace
}  // namespace engine_testing
