// Finding the display connection service of a display.
#include "EngineTestSupport.h"
#include "IOKit/IOKitLib.h"

namespace engine_testing {
namespace {

class DisplayServiceLookup : public EngineTest {
  protected:
    DisplayServiceLookup() {
        displays.addDisplay(SimDisplay{kDisplay, true, 0x610, 0xa051, 0});
        engine();
    }
    io_service_t lookUp() {
        return BrightnessController::sharedInstance()->IOServicePortFromCGDisplayID(kDisplay);
    }
    static constexpr CGDirectDisplayID kDisplay = 4;
};

TEST_F(DisplayServiceLookup, FirstServiceWithEqualNumbersWins) {
    displays.addService(displays.infoDictionary(0x610, 0xa052));
    auto& first = displays.addService(displays.infoDictionary(0x610, 0xa051));
    displays.addService(displays.infoDictionary(0x610, 0xa051));
    EXPECT_EQ(lookUp(), first.handle);
}

TEST_F(DisplayServiceLookup, MissingSerialNumberStandsForZero) {
    auto& noSerial = displays.addService(displays.infoDictionary(0x610, 0xa051));
    EXPECT_EQ(lookUp(), noSerial.handle);
    displays.find(kDisplay)->serial = 12;
    EXPECT_EQ(lookUp(), 0u);
}

TEST_F(DisplayServiceLookup, ServicesWithoutVendorOrProductAreSkippedUncompared) {
    auto noVendor = displays.infoDictionary(0x610, 0xa051);
    noVendor.erase("DisplayVendorID");
    auto noProduct = displays.infoDictionary(0x610, 0xa051);
    noProduct.erase("DisplayProductID");
    displays.addService(noVendor);
    displays.addService(noProduct);
    displays.addService(std::nullopt);
    markCalls();
    EXPECT_EQ(lookUp(), 0u);
    EXPECT_EQ(countCallsSinceMark("CGDisplayVendorNumber"), 0);
    // Both look-ups are made for each, and each dictionary made is released.
    EXPECT_EQ(countCallsSinceMark("CFDictionaryGetValueIfPresent(DisplayVendorID)"), 3);
    EXPECT_EQ(countCallsSinceMark("CFDictionaryGetValueIfPresent(DisplayProductID)"), 3);
    EXPECT_EQ(countCallsSinceMark("CFRelease"), 3);
    EXPECT_EQ(countCallsSinceMark("IOObjectRelease"), 1);
}

TEST_F(DisplayServiceLookup, NumbersAreComparedInOrderWhileTheyMatch) {
    displays.addService(displays.infoDictionary(0x999, 0xa051));
    markCalls();
    lookUp();
    EXPECT_EQ(countCallsSinceMark("CGDisplayVendorNumber"), 1);
    EXPECT_EQ(countCallsSinceMark("CGDisplayModelNumber"), 0);
    EXPECT_EQ(countCallsSinceMark("CGDisplaySerialNumber"), 0);
}

TEST_F(DisplayServiceLookup, SerialNumbersAboveTheSignedRangeStillMatch) {
    displays.find(kDisplay)->serial = 0x80000001u;
    auto& service = displays.addService(displays.infoDictionary(0x610, 0xa051, 0x80000001LL));
    EXPECT_EQ(lookUp(), service.handle);
}

TEST_F(DisplayServiceLookup, MainPortFollowsTheSystemVersion) {
    sim.osVersion = {11, 7, 0};
    markCalls();
    lookUp();
    sim.osVersion = {12, 0, 0};
    lookUp();
    auto calls = callsSinceMark();
    std::vector<std::string> ports;
    for (auto& c : calls)
        if (c.rfind("IOServiceGetMatchingServices", 0) == 0)
            ports.push_back(c);
    EXPECT_EQ(ports, (std::vector<std::string>{
                         "IOServiceGetMatchingServices(" + std::to_string(kIOMasterPortDefault) +
                             ", IODisplayConnect)",
                         "IOServiceGetMatchingServices(" + std::to_string(kIOMainPortDefault) +
                             ", IODisplayConnect)",
                     }));
}

}  // namespace
}  // namespace engine_testing
