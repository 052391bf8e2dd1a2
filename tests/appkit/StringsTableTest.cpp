// The string table parser: the forms tables use, both encodings, and damaged
// input, which must fail as a whole and never crash.
#include <gtest/gtest.h>

#include "Foundation/StringsTable.h"

using platform::parseStringsTable;
using platform::StringsTable;
using namespace std::string_literals;

namespace {

std::string utf16(const std::u16string& text, bool bigEndian, bool bom) {
    std::string out;
    auto put = [&](char16_t u) {
        if (bigEndian) {
            out += static_cast<char>(u >> 8);
            out += static_cast<char>(u & 0xFF);
        } else {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        }
    };
    if (bom)
        put(0xFEFF);
    for (char16_t u : text)
        put(u);
    return out;
}

}  // namespace

TEST(StringsTable, ReadsCommentsEscapesUnquotedKeysAndKeyOnlyEntries) {
    const std::string text =
        "/* a comment\n spanning lines */\n"
        "\"Please note\" = \"Bitte beachten\"; // trailing comment\n"
        "\"tab\\tquote\\\"slash\\\\\" = \"line\\nbreak\";\n"
        "\"\\U201Cquoted\\U201D\" = \"\\u00e9t\\u00E9\";\n"
        "\"emoji\" = \"\\UD83D\\UDE00\";\n"
        "bare_key.1 = bareValue;\n"
        "\"same\";\n"
        "\"dup\" = \"first\"; \"dup\" = \"second\";\n";
    std::string error;
    auto table = parseStringsTable(text, &error);
    ASSERT_TRUE(table) << error;
    const StringsTable expected = {
        {"Please note", "Bitte beachten"},
        {"tab\tquote\"slash\\", "line\nbreak"},
        {"\u201Cquoted\u201D", "\u00E9t\u00E9"},
        {"emoji", "\U0001F600"},
        {"bare_key.1", "bareValue"},
        {"same", "same"},
        {"dup", "second"},
    };
    EXPECT_EQ(*table, expected);
}

TEST(StringsTable, ReadsUTF8WithBomAndUTF16OfBothByteOrders) {
    const std::u16string text = u"\"\u201CDuolume\u201D\" = \"\u00AB Duolume \u00BB\";";
    const StringsTable expected = {{"\u201CDuolume\u201D", "\u00AB Duolume \u00BB"}};
    EXPECT_EQ(parseStringsTable("\xEF\xBB\xBF\"a\" = \"b\";"), (StringsTable{{"a", "b"}}));
    EXPECT_EQ(parseStringsTable(utf16(text, false, true)), expected);
    EXPECT_EQ(parseStringsTable(utf16(text, true, true)), expected);
    EXPECT_EQ(parseStringsTable(utf16(text, false, false)), expected);
    EXPECT_EQ(parseStringsTable(utf16(text, true, false)), expected);
    EXPECT_EQ(parseStringsTable(""), StringsTable{});
}

TEST(StringsTable, DamagedTablesFailWholeWithAReason) {
    const std::vector<std::string> damaged = {
        R"("a" = "b")",             // no semicolon at the end
        R"("a" = "b; "c" = "d";)",  // string left open
        "\"a\" = ;",                // no value
        "= \"b\";",                 // no key
        R"("a" "b";)",              // no "="
        R"(/* never closed "a" = "b";)",
        R"("a" = "\U12";)",  // short \U
        R"("a" = "\UZZZZ";)",
        R"("a" = "\UD83D";)",                        // high surrogate alone
        R"("a" = "\UDE00";)",                        // low surrogate alone
        R"("a" = "\0";)",                            // NUL
        "\"a\" = \"\\\0\";"s,                        // a backslash before a NUL byte
        R"("a" = "b\)",                              // escape at the very end
        "\"a\" = \"\xC3\x28\";",                     // invalid UTF-8
        "\"a\" = \"\xED\xA0\x80\";",                 // UTF-8 encoded surrogate
        "\xFF\xFE\x22\x00\x61"s,                     // odd-length UTF-16
        utf16(u"\"a\" = \"\xD800\";", false, true),  // unpaired surrogate in UTF-16
        R"("a" = "b"; })",
    };
    for (const auto& text : damaged) {
        std::string error;
        EXPECT_FALSE(parseStringsTable(text, &error)) << "accepted: " << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(StringsTable, ErrorsNameTheLine) {
    std::string error;
    EXPECT_FALSE(parseStringsTable("\"a\" = \"b\";\n\n\"c\" = \"d\"\n", &error));
    EXPECT_NE(error.find("line 4"), std::string::npos) << error;
}
