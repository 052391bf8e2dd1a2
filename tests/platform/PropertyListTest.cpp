// Property lists read and written the same whichever libplist the build uses
// (2.2 on Debian 12, 2.6 on Debian 13: the interface and some behaviour
// changed in 2.3).
#include <gtest/gtest.h>

#include "Foundation/PropertyListSerialization.h"

using platform::parsePropertyList;
using platform::xmlPropertyList;

TEST(PropertyList, EveryKindOfValueSurvivesXmlWithSignedIntegers) {
    PlistDictionary all{
        {"negative", PlistValue::integer(-2)},
        {"beyond32bits", PlistValue::integer(int64_t{1} << 40)},
        {"lowest", PlistValue::integer(INT64_MIN)},
        {"flag", PlistValue::boolean(true)},
        {"real", PlistValue::real(0.25)},
        {"text", PlistValue::string("Helligkeit ä")},
        {"when", PlistValue::date(86400)},  // XML keeps whole seconds
        {"bytes", PlistValue::data({0x00, 0xff})},
        {"list", PlistValue::array({PlistValue::integer(1), PlistValue::string("b")})},
    };
    const std::string xml = xmlPropertyList(PlistValue::dictionary(all));
    // Written signed, as 2.2 always did (2.3 and newer write an unsigned
    // node's negative value as 18446744073709551614).
    EXPECT_NE(xml.find("<integer>-2</integer>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<integer>-9223372036854775808</integer>"), std::string::npos) << xml;
    auto back = parsePropertyList(xml);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, PlistValue::dictionary(all));
}

TEST(PropertyList, ReadsBinaryAndRejectsJsonAndOpenStepText) {
    // {"d": <00ff>, "n": -2, "r": 0.25} in Apple's binary format.
    const std::string binary(
        "bplist00\xd3\x01\x02\x03\x04\x05\x06\x51\x64\x51\x6e\x51\x72\x42\x00\xff\x13\xff\xff\xff"
        "\xff\xff\xff\xff\xfe\x23\x3f\xd0\x00\x00\x00\x00\x00\x00\x08\x0f\x11\x13\x15\x18\x21\x00"
        "\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x07\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x2a",
        81);
    auto value = parsePropertyList(binary);
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, PlistValue::dictionary({{"d", PlistValue::data({0x00, 0xff})},
                                              {"n", PlistValue::integer(-2)},
                                              {"r", PlistValue::real(0.25)}}));

    // libplist 2.3 and newer would read these as dictionaries; a settings
    // file must mean the same on every release.
    for (const char* text : {"{\"enabled\": 1}", "{ enabled = 1; }", "[1, 2]", "just words"}) {
        std::string error;
        EXPECT_FALSE(parsePropertyList(text, &error)) << text;
        EXPECT_EQ(error, "not a property list") << text;
    }
}
