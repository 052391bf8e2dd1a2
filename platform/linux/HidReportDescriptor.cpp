#include "linux/HidReportDescriptor.h"

#include <vector>

namespace platform::linux_machine {
namespace {

struct GlobalState {
    std::int64_t logicalMinimum = 0;
    std::int64_t logicalMaximum = 0;
    // Raw bytes of the maximum, so it can be read unsigned where the minimum
    // shows the field is unsigned (descriptors often write 65535 as FF FF).
    std::uint32_t logicalMaximumRaw = 0;
    int logicalMaximumSize = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportID = 0;
};

std::int64_t signedValue(std::uint32_t raw, int size) {
    switch (size) {
        case 1:
            return static_cast<std::int8_t>(raw);
        case 2:
            return static_cast<std::int16_t>(raw);
        case 4:
            return static_cast<std::int32_t>(raw);
        default:
            return 0;
    }
}

std::int64_t effectiveMaximum(const GlobalState& g) {
    std::int64_t max = g.logicalMaximum;
    if (max < g.logicalMinimum && g.logicalMinimum >= 0)
        max = g.logicalMaximumRaw;
    return max;
}

}  // namespace

std::optional<FeatureReportLayout> featureReportLayout(const std::vector<std::uint8_t>& d,
                                                       int reportID) {
    constexpr int kMain = 0, kGlobal = 1;
    constexpr int kFeature = 0xB;
    constexpr int kLogicalMin = 1, kLogicalMax = 2, kReportSize = 7, kReportID = 8,
                  kReportCount = 9, kPush = 0xA, kPop = 0xB;
    GlobalState g;
    std::vector<GlobalState> stack;
    std::optional<FeatureReportLayout> layout;
    bool rangeTaken = false;
    std::size_t i = 0;
    while (i < d.size()) {
        std::uint8_t prefix = d[i];
        if (prefix == 0xFE) {  // long item: skip its data
            if (i + 2 >= d.size())
                break;
            i += 3 + d[i + 1];
            continue;
        }
        int size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + size > d.size())
            break;  // truncated
        std::uint32_t raw = 0;
        for (int b = 0; b < size; ++b)
            raw |= static_cast<std::uint32_t>(d[i + 1 + b]) << (8 * b);
        int type = (prefix >> 2) & 3;
        int tag = prefix >> 4;
        i += 1 + size;
        if (type == kGlobal) {
            switch (tag) {
                case kLogicalMin:
                    g.logicalMinimum = signedValue(raw, size);
                    break;
                case kLogicalMax:
                    g.logicalMaximum = signedValue(raw, size);
                    g.logicalMaximumRaw = raw;
                    g.logicalMaximumSize = size;
                    break;
                case kReportSize:
                    g.reportSize = raw;
                    break;
                case kReportCount:
                    g.reportCount = raw;
                    break;
                case kReportID:
                    g.reportID = raw;
                    break;
                case kPush:
                    stack.push_back(g);
                    break;
                case kPop:
                    if (!stack.empty()) {
                        g = stack.back();
                        stack.pop_back();
                    }
                    break;
                default:
                    break;
            }
        } else if (type == kMain && tag == kFeature &&
                   g.reportID == static_cast<std::uint32_t>(reportID)) {
            if (!layout)
                layout = FeatureReportLayout{};
            // The total stays below a ceiling far above any real report, so
            // a descriptor of many huge fields cannot overflow it.
            constexpr std::uint64_t kMaxBits = 1u << 20;
            std::uint64_t bits = static_cast<std::uint64_t>(g.reportSize) * g.reportCount;
            layout->bits = static_cast<int>(std::min<std::uint64_t>(
                static_cast<std::uint64_t>(layout->bits) + std::min(bits, kMaxBits), kMaxBits));
            bool constant = raw & 1;
            if (!constant && !rangeTaken) {
                layout->logicalMinimum = g.logicalMinimum;
                layout->logicalMaximum = effectiveMaximum(g);
                rangeTaken = true;
            }
        }
    }
    return layout;
}

}  // namespace platform::linux_machine
