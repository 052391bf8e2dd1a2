// EDID identity, HID_ID and HID report descriptor parsing: the bytes that come from
// outside, damaged ones included.
#include <gtest/gtest.h>

#include "formats/Edid.h"
#include "linux/hid/HidID.h"
#include "linux/hid/HidReportDescriptor.h"
#include "support/VirtualLaptop.h"

using namespace platform::linux_machine;
using platform::parseEdid;
using testing_support::VirtualLaptop;

TEST(Edid, IdentityIsBigEndianManufacturerAndLittleEndianProductAndSerial) {
    auto edid = VirtualLaptop::makeEdid("APP", 0xA045, 0x12345678);
    auto id = parseEdid(edid);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->vendor, 0x0610u);  // "APP"
    EXPECT_EQ(id->product, 0xA045u);
    EXPECT_EQ(id->serial, 0x12345678u);
    // Extension blocks after the base block do not matter.
    edid.resize(256, 0x55);
    EXPECT_EQ(parseEdid(edid), id);
}

TEST(Edid, DamagedBlocksGiveNoIdentity) {
    auto good = VirtualLaptop::makeEdid("DEL", 0x4097, 7);
    auto badChecksum = good;
    badChecksum[127] ^= 1;
    auto badHeader = good;
    badHeader[0] = 0x01;
    std::vector<std::uint8_t> truncated(good.begin(), good.begin() + 127);
    EXPECT_FALSE(parseEdid(badChecksum));
    EXPECT_FALSE(parseEdid(badHeader));
    EXPECT_FALSE(parseEdid(truncated));
    EXPECT_FALSE(parseEdid({}));
    // Nor a maker: a damaged block could be anyone's, an Apple display's too.
    EXPECT_EQ(platform::edidManufacturer(good), "DEL");
    for (const auto& damaged : {badChecksum, badHeader, truncated})
        EXPECT_EQ(platform::edidManufacturer(damaged), "");
}

// Bits of every field of one feature report, and the first data field's range.
struct Report {
    std::uint64_t bits = 0;
    CFIndex minimum = 0, maximum = 0;
    int fields = 0;
};
Report featureReport(const std::vector<std::uint8_t>& descriptor, std::uint32_t id) {
    Report r;
    for (const auto& e : hidReportElements(descriptor)) {
        if (e.type != kIOHIDElementTypeFeature || e.reportID != id)
            continue;
        r.bits += std::uint64_t{e.reportSize} * e.reportCount;
        if (!e.constant && r.fields++ == 0) {
            r.minimum = e.logicalMin;
            r.maximum = e.logicalMax;
        }
    }
    return r;
}

TEST(ReportDescriptor, ShortUnsignedMaximumPushPopAndOtherReports) {
    const std::vector<std::uint8_t> d = {
        0x85, 0x01, 0x15, 0x00, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x04, 0xB1,
        0x02,                                                              // report 1: 32 bits
        0xA4,                                                              // push
        0x85, 0x10, 0x26, 0xFF, 0xFF, 0x75, 0x10, 0x95, 0x01, 0xB1, 0x02,  // report 16: FF FF
        0x75, 0x08, 0xB1, 0x03,                                            // + 8 constant bits
        0xB4,                                                              // pop: back to report 1
        0xB1, 0x02,                                                        // report 1 again
    };
    auto r16 = featureReport(d, 16);
    EXPECT_EQ(r16.bits, 24u);
    EXPECT_EQ(r16.maximum, 65535);  // FF FF with a minimum of 0 reads unsigned
    auto r1 = featureReport(d, 1);
    EXPECT_EQ(r1.bits, 64u);
    EXPECT_EQ(r1.maximum, 127);
    auto fixture = featureReport(VirtualLaptop::appleMonitorDescriptor(), 16);
    EXPECT_EQ(fixture.bits, 16u);
    EXPECT_EQ(fixture.maximum, 65535);
}

TEST(ReportDescriptor, TruncatedOrGarbageDescriptorsEndQuietly) {
    auto d = VirtualLaptop::appleMonitorDescriptor();
    for (std::size_t n = 0; n < d.size(); ++n) {
        std::vector<std::uint8_t> cut(d.begin(), d.begin() + n);
        EXPECT_LE(featureReport(cut, 16).bits, 16u);
    }
    EXPECT_TRUE(hidReportElements({0xFE, 0xFF}).empty());  // long item running past the end
    EXPECT_TRUE(hidReportElements({0x27, 0xFF}).empty());
}

// Each field knows the collection that holds it, nested ones included; a
// stray End Collection or a collection left open does no harm.
TEST(ReportDescriptor, CollectionsHoldTheFieldsDeclaredInsideThem) {
    const std::vector<std::uint8_t> d = {
        0xC0,                                            // End Collection with none open: ignored
        0x05, 0x80, 0x09, 0x01,                          // Monitor page, Monitor Control
        0xA1, 0x01,                                      // Collection (Application)
        0x05, 0x82, 0x09, 0x10,                          //   brightness
        0x75, 0x10, 0x95, 0x01, 0x85, 0x10, 0xB1, 0x02,  // feature report 16
        0x09, 0x12, 0xA1, 0x02,                          //   Collection (Logical), contrast
        0x09, 0x12, 0xB1, 0x02,                          //     a field inside it
        0xC0,                                            //   End Collection
        0x09, 0x10, 0xB1, 0x02,                          //   back in the Monitor collection
        0xC0,                                            // End Collection
        0x06, 0x00, 0xFF, 0x09, 0x01, 0x81, 0x02,        // an input outside any collection
        0x09, 0x02, 0xA1, 0x01,                          // a collection never ended
        0x09, 0x03, 0x81, 0x02,
    };
    const auto e = hidReportElements(d);
    ASSERT_EQ(e.size(), 8u);
    const auto parent = [&](std::size_t i) { return IOHIDElementGetParent(&e[i]); };
    EXPECT_EQ(e[0].type, kIOHIDElementTypeCollection);
    EXPECT_EQ(IOHIDElementGetCollectionType(e.data()), kIOHIDElementCollectionTypeApplication);
    EXPECT_EQ(e[0].usagePage << 16 | e[0].usage, 0x00800001u);
    EXPECT_EQ(parent(0), nullptr);
    EXPECT_EQ(parent(1), e.data());  // the brightness field
    EXPECT_EQ(e[1].reportID, 16u);
    EXPECT_EQ(IOHIDElementGetCollectionType(&e[2]), kIOHIDElementCollectionTypeLogical);
    EXPECT_EQ(parent(2), e.data());
    EXPECT_EQ(parent(3), &e[2]);
    EXPECT_EQ(parent(4), e.data());
    EXPECT_EQ(parent(5), nullptr);
    EXPECT_EQ(parent(7), &e[6]);
    // The links survive a copy of the whole list.
    const auto copy = e;
    EXPECT_EQ(IOHIDElementGetParent(&copy[3]), &copy[2]);
}

TEST(HidID, BusVendorAndProductFromTheirLineOfTheUevent) {
    const HidID monitor{3, 0x05AC, 0x9226};
    EXPECT_EQ(parseHidID("DRIVER=hid-generic\nHID_ID=0003:000005AC:00009226\nHID_NAME=Apple\n"),
              monitor);
    EXPECT_EQ(parseHidID("HID_ID=0003:000005ac:00009226"), monitor);  // last line, lower case
    EXPECT_EQ(parseHidID("HID_ID=3:5AC:9226\n"), monitor);
}

TEST(HidID, MalformedLinesGiveNoIdentity) {
    for (const char* uevent : {
             "",
             "HID_ID=0003:000005AC\n",             // a field missing
             "HID_ID=0003:000005AC:00009226:1\n",  // a field too many
             "HID_ID=0003:1000005AC:00009226\n",   // nine digits: not Apple's vendor by wrap-around
             "HID_ID=0003:000105AC:00009226\n",    // vendor beyond 16 bits
             "HID_ID=0003: 000005AC:00009226\n",   // white space
             "HID_ID=0003:-00005AC:00009226\n",    // sign
             "HID_ID=0003:0x05AC:00009226\n",      // prefix
             "HID_ID=0003::00009226\n",            // empty field
             "MODALIAS=HID_ID=0003:000005AC:00009226",  // not at the start of a line
         }) {
        EXPECT_EQ(parseHidID(uevent), std::nullopt) << uevent;
    }
}
