// The HID manager over the simulated HID back-end: matching, delivery on the
// run loop, and one report per presence.
#include <gtest/gtest.h>

#include "IOKit/hid/IOHIDManager.h"
#include "sim/SimMachine.h"
#include "support/SimAppleMonitor.h"

using platform::sim::SimMachine;

namespace {

struct Reports {
    std::vector<std::string> events;
    static void attached(void* context, IOReturn, void*, IOHIDDeviceRef device) {
        static_cast<Reports*>(context)->events.push_back("+" + device->description());
    }
    static void removed(void* context, IOReturn, void*, IOHIDDeviceRef device) {
        static_cast<Reports*>(context)->events.push_back("-" + device->description());
    }
};

IOHIDManagerRef watch(Reports& reports, const NSArray* matching) {
    IOHIDManagerRef manager = IOHIDManagerCreate(kCFAllocatorDefault, kIOHIDOptionsTypeNone);
    if (matching)
        IOHIDManagerSetDeviceMatchingMultiple(manager, *matching);
    IOHIDManagerRegisterDeviceMatchingCallback(manager, Reports::attached, &reports);
    IOHIDManagerRegisterDeviceRemovalCallback(manager, Reports::removed, &reports);
    IOHIDManagerScheduleWithRunLoop(manager, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    EXPECT_EQ(IOHIDManagerOpen(manager, kIOHIDOptionsTypeNone), kIOReturnSuccess);
    return manager;
}

NSArray vendorProduct(std::int64_t vendor, std::int64_t product) {
    return {PlistValue::dictionary(
        {{"VendorID", PlistValue::integer(vendor)}, {"ProductID", PlistValue::integer(product)}})};
}

}  // namespace

TEST(HIDManager, DevicesMatchAnyDictionaryWithAllItsKeys) {
    auto& sim = SimMachine::installNew();
    auto& hid = sim.simHID();
    testing_support::plugInAppleMonitor(hid, 0x9226);  // sim device 1: matches
    hid.plugIn(hid.addDevice(0x05ac, 0x9216));         // sim device 2: wrong product
    hid.plugIn(hid.addDevice(0x046d, 0x9226));         // sim device 3: wrong vendor
    NSArray matching = vendorProduct(0x05ac, 0x9226);
    matching.push_back(PlistValue::dictionary({{"PrimaryUsage", PlistValue::integer(1)}}));
    Reports reports;
    watch(reports, &matching);
    sim.runFor(0.01);
    EXPECT_EQ(reports.events, (std::vector<std::string>{"+sim device 1"}));
}

TEST(HIDManager, ReportsWaitForTheScheduledModeAndComeOncePerPresence) {
    auto& sim = SimMachine::installNew();
    auto& hid = sim.simHID();
    Reports reports;
    watch(reports, nullptr);
    auto& device = hid.addDevice(0x05ac, 0x9226);
    hid.plugIn(device);
    CFRunLoopRunInMode("OtherMode", 1.0, false);
    EXPECT_TRUE(reports.events.empty());
    hid.plugOut(device);
    hid.plugIn(device);
    sim.runFor(0.01);
    EXPECT_EQ(reports.events,
              (std::vector<std::string>{"+sim device 1", "-sim device 1", "+sim device 1"}));
}

TEST(HIDManager, RemovalOfAnUnreportedDeviceIsNotPassedOn) {
    auto& sim = SimMachine::installNew();
    auto& hid = sim.simHID();
    auto& other = hid.addDevice(0x05ac, 0x9216);
    hid.plugIn(other);
    NSArray matching = vendorProduct(0x05ac, 0x9226);
    Reports reports;
    watch(reports, &matching);
    hid.plugOut(other);
    sim.runFor(0.01);
    EXPECT_TRUE(reports.events.empty());
}

TEST(HIDManager, CreationAndOpenFailuresComeFromTheMachine) {
    auto& sim = SimMachine::installNew();
    sim.simHID().managerCreationFails = true;
    EXPECT_EQ(IOHIDManagerCreate(kCFAllocatorDefault, 0), nullptr);
    sim.simHID().managerCreationFails = false;
    sim.simHID().openStatus = kIOReturnNotPrivileged;
    IOHIDManagerRef manager = IOHIDManagerCreate(kCFAllocatorDefault, 0);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(IOHIDManagerOpen(manager, 0), kIOReturnNotPrivileged);
}
