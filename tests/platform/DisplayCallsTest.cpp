// The active display list's capacity and count, reading numbers out of info
// dictionaries, and DisplayServices' brightness change notification.
#include <gtest/gtest.h>

#include <limits>

#include "CoreFoundation/CFDictionary.h"
#include "CoreFoundation/CFNumber.h"
#include "CoreGraphics/CGDirectDisplay.h"
#include "DisplayServices/DisplayServices.h"
#include "sim/SimMachine.h"

using platform::sim::SimMachine;

TEST(ActiveDisplayList, CapacityLimitsTheListAndNullListGivesTheTotal) {
    auto& sim = SimMachine::installNew();
    for (CGDirectDisplayID id : {5u, 3u, 9u})
        sim.simDisplays().addExternalDisplay(id);
    CGDirectDisplayID list[2] = {};
    CGDisplayCount count = 99;
    ASSERT_EQ(CGGetActiveDisplayList(2, list, &count), kCGErrorSuccess);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(list[0], 5u);
    EXPECT_EQ(list[1], 3u);
    ASSERT_EQ(CGGetActiveDisplayList(0, nullptr, &count), kCGErrorSuccess);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(CGGetActiveDisplayList(2, list, nullptr), kCGErrorIllegalArgument);
    sim.simDisplays().listStatus = kCGErrorFailure;
    EXPECT_EQ(CGGetActiveDisplayList(2, list, &count), kCGErrorFailure);
}

TEST(NumberValue, SignedThirtyTwoBitReadsKeepTheBitPattern) {
    SimMachine::installNew();
    SInt32 out = 0;
    auto big = PlistValue::integer(0x80000001LL);
    EXPECT_FALSE(CFNumberGetValue(&big, kCFNumberSInt32Type, &out));
    EXPECT_EQ(static_cast<std::uint32_t>(out), 0x80000001u);
    auto small = PlistValue::integer(-7);
    EXPECT_TRUE(CFNumberGetValue(&small, kCFNumberSInt32Type, &out));
    EXPECT_EQ(out, -7);
    auto real = PlistValue::real(1e20);
    EXPECT_FALSE(CFNumberGetValue(&real, kCFNumberSInt32Type, &out));
    EXPECT_EQ(out, std::numeric_limits<SInt32>::max());
    auto text = PlistValue::string("12");
    out = 5;
    EXPECT_FALSE(CFNumberGetValue(&text, kCFNumberSInt32Type, &out));
    EXPECT_EQ(out, 5);
}

// Someone else's change of the built-in display reaches its observers when
// the run loop turns, with the new brightness; other displays have none.
TEST(BrightnessChangeNotification, ReachesTheBuiltInDisplaysObserversOnTheRunLoop) {
    auto& sim = SimMachine::installNew();
    auto& displays = sim.simDisplays();
    displays.setAllOptionalOperationsPresent();
    displays.addBuiltinDisplay(1, 0.5);
    displays.addExternalDisplay(2);
    std::vector<std::pair<CGDirectDisplayID, double>> heard;
    auto observe = [&](CGDirectDisplayID observer, CFDictionaryRef info) {
        const PlistValue* value = nullptr;
        ASSERT_TRUE(
            CFDictionaryGetValueIfPresent(info, kDisplayServicesBrightnessValueKey, &value));
        heard.emplace_back(observer, value->doubleValue().value_or(-1.0));
    };
    EXPECT_NE(DisplayServicesRegisterForBrightnessChangeNotifications(2, 2, observe), 0);
    ASSERT_EQ(DisplayServicesRegisterForBrightnessChangeNotifications(1, 7, observe), 0);
    ASSERT_EQ(DisplayServicesRegisterForBrightnessChangeNotifications(1, 8, observe), 0);
    displays.changeBrightnessElsewhere(1, 0.8);
    EXPECT_TRUE(heard.empty());
    sim.runFor(0.1);
    EXPECT_EQ(heard, (std::vector<std::pair<CGDirectDisplayID, double>>{{7, 0.8}, {8, 0.8}}));
    EXPECT_DOUBLE_EQ(displays.find(1)->brightness, 0.8);
    ASSERT_EQ(DisplayServicesUnregisterForBrightnessChangeNotifications(1, 7), 0);
    displays.changeBrightnessElsewhere(1, 0.3);
    sim.runFor(0.1);
    EXPECT_EQ(heard.back(), (std::pair<CGDirectDisplayID, double>{8, 0.3}));
    EXPECT_EQ(heard.size(), 3u);
}
