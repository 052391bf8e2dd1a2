// What a HID report descriptor declares for one feature report: its size and
// the logical range of its first data field. Used to describe a monitor when
// it arrives.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace platform::linux_machine {

struct FeatureReportLayout {
    int bits = 0;  // payload bits, without the report ID byte
    std::int64_t logicalMinimum = 0;
    std::int64_t logicalMaximum = 0;
};

// Absent when the descriptor declares no feature report with this ID (or is
// damaged before declaring it).
std::optional<FeatureReportLayout> featureReportLayout(const std::vector<std::uint8_t>& descriptor,
                                                       int reportID);

}  // namespace platform::linux_machine
