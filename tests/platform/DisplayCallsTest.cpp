// The active display list's capacity and count, and reading numbers out of
// info dictionaries.
#include <gtest/gtest.h>

#include <limits>

#include "CoreFoundation/CFNumber.h"
#include "CoreGraphics/CGDirectDisplay.h"
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
    auto big = PlistValue::integer(0x80000001ll);
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
