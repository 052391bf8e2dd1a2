// Reading a HID report descriptor (the bytes in a hidraw device's
// device/report_descriptor): the fields it declares, and what it declares for
// one feature report.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "IOKit/hid/IOHIDElement.h"

namespace platform::linux_machine {

// One element per input, output, feature and collection item, in descriptor
// order, each linked to the collection that holds it. A damaged or truncated
// descriptor gives the elements declared before the damage; an End Collection
// without a collection is ignored.
std::vector<__IOHIDElement> hidReportElements(const std::vector<std::uint8_t>& descriptor);

struct FeatureReportLayout {
    int bits = 0;  // payload bits, without the report ID byte
    std::int64_t logicalMinimum = 0;
    std::int64_t logicalMaximum = 0;
};

// The size of a feature report and the logical range of its first data
// field. Absent when the descriptor declares no feature report with this ID
// (or is damaged before declaring it).
std::optional<FeatureReportLayout> featureReportLayout(const std::vector<std::uint8_t>& descriptor,
                                                       int reportID);

}  // namespace platform::linux_machine
