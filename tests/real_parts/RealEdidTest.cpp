// EDIDs recorded by the owners of real displays (tests/data/real-data/edid,
// provenance in its INDEX.tsv and README), read by the platform's EDID reader
// and checked against the independent decoder's numbers and names in
// INDEX.tsv, with what the engine decides from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>

#include "CoreGraphics/CGDirectDisplay.h"
#include "IOKit/IOGraphicsLib.h"
#include "engine/AppleMonitorProducts.h"
#include "engine/BrightnessController.h"
#include "formats/Edid.h"
#include "support/LaptopOnLinux.h"
#include "support/TabSeparated.h"

using namespace testing_support;
using platform::parseEdid;

namespace {

const std::string kEdidFolder = DUOLUME_SOURCE_DIR "/tests/data/real-data/edid/";

std::vector<std::uint8_t> recorded(const std::string& file) {
    std::ifstream in(kEdidFolder + file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// INDEX.tsv: one row per file, by column name.
std::vector<std::map<std::string, std::string>> indexRows() {
    std::ifstream in(kEdidFolder + "INDEX.tsv");
    std::string line;
    std::getline(in, line);
    auto header = testing_support::tabSeparatedCells(line);
    std::vector<std::map<std::string, std::string>> rows;
    while (std::getline(in, line)) {
        auto cells = testing_support::tabSeparatedCells(line);
        std::map<std::string, std::string> row;
        for (std::size_t i = 0; i < header.size(); ++i)
            row[header[i]] = i < cells.size() ? cells[i] : "";
        rows.push_back(row);
    }
    return rows;
}

bool isDecimal(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(c); });
}

bool blockChecksumOk(const std::vector<std::uint8_t>& edid, std::size_t block) {
    std::uint8_t sum = 0;
    for (std::size_t i = block * 128; i < (block + 1) * 128; ++i)
        sum = static_cast<std::uint8_t>(sum + edid[i]);
    return sum == 0;
}

}  // namespace

TEST(RealEdid, ReaderAgreesWithTheIndependentDecoderOnEveryRecording) {
    auto rows = indexRows();
    ASSERT_EQ(rows.size(), 33u) << "INDEX.tsv of " << kEdidFolder;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.at("file"));
        const auto bytes = recorded(row.at("file"));
        auto id = parseEdid(bytes);
        ASSERT_TRUE(id);
        EXPECT_EQ(platform::edidManufacturer(bytes), row.at("manufacturer"));
        EXPECT_EQ(platform::edidDisplayName(bytes), row.at("display_name"));
        // What the engine decides by it: an Apple display never gets DDC/CI.
        EXPECT_EQ(duolume::isAppleDisplay(bytes), row.at("kind").rfind("apple-", 0) == 0);
        EXPECT_EQ(id->vendor, std::stoul(row.at("manufacturer_id_hex"), nullptr, 16));
        EXPECT_EQ(id->product, std::stoul(row.at("edid_decode_model")));
        // The decoder prints no serial line for serial 0; the published text
        // redacts some serials as "...", whose bytes the index read itself.
        const auto& decoded = row.at("edid_decode_serial_number");
        if (isDecimal(decoded))
            EXPECT_EQ(id->serial, std::stoul(decoded));
        else if (decoded.empty())
            EXPECT_EQ(id->serial, 0u);
        else
            EXPECT_EQ(id->serial, std::stoul(row.at("serial_number")));
    }
}

TEST(RealEdid, BadExtensionChecksumAndOddRecordingsKeepTheBaseBlock) {
    // Block 1 of this Dell recording fails its checksum (the decoder: "should be 0x2a").
    auto dell = recorded("DELA070-C06CC7E145E0.bin");
    ASSERT_EQ(dell.size(), 256u);
    ASSERT_FALSE(blockChecksumOk(dell, 1));
    auto id = parseEdid(dell);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->product, 0xA070u);
    EXPECT_EQ(id->serial, 809589077u);

    // Byte 126 announces one extension that was never recorded.
    auto truncated = recorded("APP921C-9DEF568D5A27.bin");
    ASSERT_EQ(truncated.size(), 128u);
    ASSERT_EQ(truncated[126], 1);
    ASSERT_TRUE(parseEdid(truncated));
    EXPECT_EQ(parseEdid(truncated)->product, 0x921Cu);

    // 512 bytes recorded, one extension announced: blocks 2-3 repeat 0-1.
    auto repeated = recorded("APP9226-27054D7B8D45.bin");
    ASSERT_EQ(repeated.size(), 512u);
    ASSERT_EQ(repeated[126], 1);
    ASSERT_TRUE(parseEdid(repeated));
    EXPECT_EQ(parseEdid(repeated)->serial, 355534822u);

    // A damaged base block is still refused.
    dell[20] ^= 0x01;
    EXPECT_FALSE(parseEdid(dell));
}

// A MacBook panel (APP9C21 "Color LCD") on eDP-1 with its backlight, and a
// 27" LED Cinema Display (APP9226) on DP-1, both with their recorded EDIDs.
class RealAppleLaptop : public LaptopTest {
  protected:
    void SetUp() override {
        VirtualLaptop::Connector panel;
        panel.name = "eDP-1";
        panel.edid = recorded("APP9C21-ACBE4B18DC37.bin");
        laptop.addConnector(panel);
        VirtualLaptop::Connector dp;
        dp.name = "DP-1";
        dp.edid = recorded("APP9226-2A28E711B9BA.bin");
        laptop.addConnector(dp);
        laptop.addConnectorBacklight("intel_backlight", "card0-eDP-1", 1000, 250);
    }
};

TEST_F(RealAppleLaptop, PanelIsBuiltInCinemaDisplayExternalAndTheLookUpFindsThePanel) {
    CGDirectDisplayID list[4] = {};
    CGDisplayCount count = 0;
    ASSERT_EQ(CGGetActiveDisplayList(4, list, &count), kCGErrorSuccess);
    ASSERT_EQ(count, 2u);
    if (CGDisplayIsBuiltin(list[1]))  // the order is the outputs', not ours
        std::swap(list[0], list[1]);
    const std::uint32_t apple = VirtualLaptop::manufacturerNumber("APP");
    EXPECT_NE(CGDisplayIsBuiltin(list[0]), 0u);
    EXPECT_EQ(CGDisplayVendorNumber(list[0]), apple);
    EXPECT_EQ(CGDisplayModelNumber(list[0]), 0x9C21u);
    EXPECT_EQ(CGDisplaySerialNumber(list[0]), 16843009u);
    EXPECT_EQ(CGDisplayIsBuiltin(list[1]), 0u);
    EXPECT_EQ(CGDisplayVendorNumber(list[1]), apple);
    EXPECT_EQ(CGDisplayModelNumber(list[1]), 0x9226u);
    EXPECT_EQ(CGDisplaySerialNumber(list[1]), 45298730u);

    // The display service look-up matches the panel's backlight by its
    // numbers, and nothing for the monitor, which has no backlight.
    auto* engine = BrightnessController::sharedInstance();
    io_service_t service = engine->IOServicePortFromCGDisplayID(list[0]);
    ASSERT_NE(service, 0u);
    float value = 0;
    EXPECT_EQ(IODisplayGetFloatParameter(service, 0, "brightness", &value), 0);
    EXPECT_FLOAT_EQ(value, 0.25f);
    EXPECT_EQ(engine->IOServicePortFromCGDisplayID(list[1]), 0u);
    EXPECT_FLOAT_EQ(engine->getBrightness(list[0]), 0.25f);
}
