// The Apple USB monitors the engine drives: vendor 0x05AC with one of twelve
// product IDs (not a range: 0x9216, for one, is not among them), and after
// them a short table of newer Apple displays.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "CoreFoundation/PropertyList.h"

namespace duolume {

inline constexpr std::int64_t kAppleUSBVendorID = 1452;  // 0x05AC

inline constexpr std::array<std::int64_t, 12> kAppleMonitorProductIDs = {
    0x9215, 0x9217, 0x9218, 0x9219, 0x921C, 0x921E, 0x9220, 0x9221, 0x9226, 0x9227, 0x9232, 0x9236,
};

// Newer Apple displays, each listed only where a public source gives both its
// product ID and its report descriptor (tests/data/real-data/hid/INDEX.tsv):
//   0x1114 Studio Display: github juliuszint/asdbctl, README (descriptor,
//          udev rule with the ID, a USB capture of the brightness report);
//   0x9243 Pro Display XDR: github 0xcharly/apdbctl, README (descriptor)
//          and src/main.c (PRO_DISPLAY_XDR 0x9243).
// Their brightness is not in report 16: it is the brightness usage of
// feature report 1, on one of the several HID interfaces each display has.
inline constexpr std::array<std::int64_t, 2> kNewerAppleDisplayProductIDs = {0x1114, 0x9243};

bool isNewerAppleDisplay(std::int64_t product);

// One dictionary per product, the twelve in table order and then the newer
// displays, each with exactly "ProductID" and "VendorID".
NSArray appleMonitorMatchingList();

// Apple's displays, external and built in, name their maker "APP" in their
// EDID (every Apple display among the owners' records in
// tests/data/real-data/edid/INDEX.tsv). They never get DDC/CI: writes are
// reported to dim old Apple Cinema and Thunderbolt displays for good
// (waydabber/BetterDisplay issue 625); they keep their USB road.
inline constexpr const char* kAppleEdidManufacturer = "APP";
bool isAppleDisplay(const std::vector<std::uint8_t>& edid);

}  // namespace duolume
