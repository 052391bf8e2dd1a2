// What one HID interface's report descriptor declares, in one line, for the
// log and the start-up report: an owner whose display is left unattached can
// quote it, and from it we learn where that display keeps its brightness.
#pragma once

#include <string>
#include <vector>

#include "IOKit/hid/IOHIDElement.h"

namespace duolume {

// Each top-level collection with the data fields of each report in it, in
// descriptor order, for example
//   "collection 0x0080/0x0001: feature report 1 (0x0082/0x0010 32 bits
//   400..60000, 0x000f/0x0050 16 bits 0..20000); input report 1 (...)"
// Padding is left out; after 16 fields the rest are counted, not listed.
std::string describeHIDInterface(const std::vector<IOHIDElementRef>& elements);

}  // namespace duolume
