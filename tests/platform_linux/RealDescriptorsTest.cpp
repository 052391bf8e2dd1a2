// The report descriptors of the newer Apple displays (tests/data/real-data/hid/,
// provenance in its INDEX.tsv: two as their owners published them, two
// reconstructed from what public sources state) decode to the fields that
// INDEX.tsv lists, inside the Monitor collection, and declare no report 16.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "linux/hid/HidReportDescriptor.h"
#include "support/TabSeparated.h"

using namespace platform::linux_machine;

namespace {

const std::string kFolder = std::string(DUOLUME_SOURCE_DIR) + "/tests/data/real-data/hid/";

TEST(RealDescriptors, DecodeToTheFieldsTheirIndexLists) {
    std::ifstream index(kFolder + "INDEX.tsv");
    ASSERT_TRUE(index) << kFolder;
    std::string line;
    std::getline(index, line);
    const auto header = testing_support::tabSeparatedCells(line);
    auto col = [&](const char* name) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) -
                                        header.begin());
    };
    int checked = 0;
    while (std::getline(index, line)) {
        auto row = testing_support::tabSeparatedCells(line);
        row.resize(header.size());
        if (row[col("record")] != "field")
            continue;
        std::ifstream file(kFolder + row[col("file")], std::ios::binary);
        std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
        ASSERT_FALSE(bytes.empty()) << row[col("file")];
        const auto elements = hidReportElements(bytes);
        const auto type = row[col("report_kind")] == "feature" ? kIOHIDElementTypeFeature
                                                               : kIOHIDElementTypeInput_Misc;
        const std::uint32_t usage = std::stoul(row[col("usage_page_usage")], nullptr, 16);
        bool found = false;
        for (const auto& e : elements) {
            if (e.type != type || (e.usagePage << 16 | e.usage) != usage)
                continue;
            found = true;
            EXPECT_EQ(e.reportID, std::stoul(row[col("report_id")])) << line;
            EXPECT_EQ(e.reportSize, std::stoul(row[col("report_size_bits")])) << line;
            EXPECT_EQ(e.reportCount, std::stoul(row[col("report_count")])) << line;
            EXPECT_EQ(e.logicalMin, std::stol(row[col("logical_min")])) << line;
            EXPECT_EQ(e.logicalMax, std::stol(row[col("logical_max")])) << line;
            const IOHIDElementRef top = IOHIDElementGetParent(&e);
            ASSERT_NE(top, nullptr) << line;
            EXPECT_EQ(top->usagePage << 16 | top->usage, 0x00800001u) << line;
        }
        EXPECT_TRUE(found) << line;
        std::uint64_t report1Bits = 0;
        for (const auto& e : elements) {
            EXPECT_NE(e.reportID, 16u) << row[col("file")];
            if (e.type == kIOHIDElementTypeFeature && e.reportID == 1)
                report1Bits += std::uint64_t{e.reportSize} * e.reportCount;
        }
        EXPECT_EQ(report1Bits, 48u);  // 7 bytes on the wire with the report ID
        ++checked;
    }
    EXPECT_EQ(checked, 8);
}

}  // namespace
