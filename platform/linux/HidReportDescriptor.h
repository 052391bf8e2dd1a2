// Reading a HID report descriptor (the bytes in a hidraw device's
// device/report_descriptor): the fields it declares.
#pragma once

#include <cstdint>
#include <vector>

#include "IOKit/hid/IOHIDElement.h"

namespace platform::linux_machine {

// One element per input, output and feature item, in descriptor order. A
// damaged or truncated descriptor gives the fields declared before the damage.
std::vector<__IOHIDElement> hidReportElements(const std::vector<std::uint8_t>& descriptor);

}  // namespace platform::linux_machine
