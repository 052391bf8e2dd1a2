// The Apple USB monitors the engine drives: vendor 0x05AC with one of twelve
// product IDs (not a range: 0x9216, for one, is not among them), and after
// them a second table of Apple displays, each with the way its brightness is
// found in its HID interface.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/PropertyList.h"

namespace duolume {

inline constexpr std::int64_t kAppleUSBVendorID = 1452;  // 0x05AC

inline constexpr std::array<std::int64_t, 12> kAppleMonitorProductIDs = {
    0x9215, 0x9217, 0x9218, 0x9219, 0x921C, 0x921E, 0x9220, 0x9221, 0x9226, 0x9227, 0x9232, 0x9236,
};

enum class BrightnessRoute {
    // Feature report 16, in the field the descriptor declares there, else two
    // bytes 0..65535: the twelve are driven so.
    ReportSixteen,
    // The brightness control inside the interface's Monitor top-level
    // collection; an interface that declares none there is not the display's
    // brightness and is never attached.
    MonitorCollection,
};

struct AppleDisplayProduct {
    std::int64_t productID;
    BrightnessRoute route;
    // The raw value that stands for full brightness where the descriptor
    // declares a higher maximum; 0 keeps the declared one.
    std::int64_t fullBrightness = 0;
};

// The second table: displays beyond the twelve, each listed where a public
// source gives its product ID and how its brightness is sent
// (tests/data/real-data/hid/INDEX.tsv):
//   0x921D, 0x9222: driven by the kernel's appledisplay driver through report
//          16, one byte (drivers/usb/misc/appledisplay.c, its device table;
//          github gregkh/linux @ 17720dd1); github warvariuc/acdcontrol,
//          acdcontrol.cpp @ 10bd0ef0, names 0x9222 CINEMA_DISPLAY_20_NEW.
//   0x1114 Studio Display: github juliuszint/asdbctl, README (descriptor,
//          udev rule with the ID, a USB capture of the brightness report).
//   0x9243 Pro Display XDR: github 0xcharly/apdbctl, README (descriptor)
//          and src/main.c (PRO_DISPLAY_XDR 0x9243).
//   0x1116 Studio Display XDR, 0x1118 Studio Display (2026): driven by
//          asdbctl since 2026 through the Studio Display's report 1 (its issue
//          16, pull requests 13, 14 and 17): 7 bytes with the ID, brightness
//          32-bit little-endian. Pull request 17 finds the interface by its
//          Monitor top-level collection (usage page 0x80, usage 1), USB
//          interface 14 on the XDR rather than 7, and measured macOS's own
//          slider sending 400 at 0 % and 60000 at 100 % to the XDR, whose
//          panel accepts up to about 160000 for its HDR peak (issue 16):
//          60000 stays full brightness.
inline constexpr std::array<AppleDisplayProduct, 6> kMoreAppleDisplayProducts = {{
    {0x921D, BrightnessRoute::ReportSixteen},
    {0x9222, BrightnessRoute::ReportSixteen},
    {0x1114, BrightnessRoute::MonitorCollection},
    {0x9243, BrightnessRoute::MonitorCollection},
    {0x1116, BrightnessRoute::MonitorCollection, 60000},
    {0x1118, BrightnessRoute::MonitorCollection},
}};

// The second table's entry for a product, or null.
const AppleDisplayProduct* moreAppleDisplayProduct(std::int64_t product);

// One dictionary per product, the twelve in table order and then the second
// table, each with exactly "ProductID" and "VendorID".
NSArray appleMonitorMatchingList();

// Apple's displays, external and built in, name their maker "APP" in their
// EDID (every Apple display among the owners' records in
// tests/data/real-data/edid/INDEX.tsv). They never get DDC/CI: writes are
// reported to dim old Apple Cinema and Thunderbolt displays for good
// (waydabber/BetterDisplay issue 625); they keep their USB road.
inline constexpr const char* kAppleEdidManufacturer = "APP";
bool isAppleDisplay(const std::vector<std::uint8_t>& edid);

}  // namespace duolume
