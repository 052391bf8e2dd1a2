// CoreGraphics display queries: the active display list and each display's
// built-in flag and identity numbers.
#pragma once

#include <cstdint>

#include "base/CGTypes.h"

using boolean_t = std::uint32_t;

// With `activeDisplays` null, `displayCount` receives the number of active
// displays and `maxDisplays` is ignored. Otherwise up to `maxDisplays`
// identifiers are written in the platform's order and `displayCount` receives
// how many were written. A null `displayCount` is an illegal argument.
CGError CGGetActiveDisplayList(std::uint32_t maxDisplays, CGDirectDisplayID* activeDisplays,
                               CGDisplayCount* displayCount);
// Non-zero for the computer's built-in display.
boolean_t CGDisplayIsBuiltin(CGDirectDisplayID display);
std::uint32_t CGDisplayVendorNumber(CGDirectDisplayID display);
std::uint32_t CGDisplayModelNumber(CGDirectDisplayID display);
// 0 when the display has no serial number.
std::uint32_t CGDisplaySerialNumber(CGDirectDisplayID display);
