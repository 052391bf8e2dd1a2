// Reading a HID report descriptor (the bytes in a hidraw device's
// device/report_descriptor): the fields it declares.
#pragma once

#include <cstdint>
#include <vector>

#include "IOKit/hid/IOHIDElement.h"

namespace platform::linux_machine {

// One element per input, output, feature and collection item, in descriptor
// order, each linked to the collection that holds it. A damaged or truncated
// descriptor gives the elements declared before the damage; an End Collection
// without a collection is ignored.
std::vector<__IOHIDElement> hidReportElements(const std::vector<std::uint8_t>& descriptor);

}  // namespace platform::linux_machine
