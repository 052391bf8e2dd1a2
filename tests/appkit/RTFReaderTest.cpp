// The RTF reader: what credits files hold, and damaged documents, which
// must fail cleanly.
#include <gtest/gtest.h>

#include "AppKit/NSAttributedString.h"
#include "AppKit/RTFReader.h"
#include "support/TempDir.h"

using platform::readRTF;
using TextRun = NSAttributedString::Run;

TEST(RTFReader, ReadsACocoaCreditsFileWithStylesAndSkipsTables) {
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\cocoartf2709\n"
        "{\\fonttbl\\f0\\fswiss\\fcharset0 Helvetica;\\f1\\fswiss Helvetica-Bold;}\n"
        "{\\colortbl;\\red255\\green255\\blue255;}\n"
        "{\\*\\expandedcolortbl;;}\n"
        "{\\info{\\author Someone}}\n"
        "\\pard\\tx560\\qc\\partightenfactor0\n\n"
        "\\f1\\b\\fs24 \\cf0 Duolume\n\\f0\\b0 \\\n"
        "Made by {\\i many} people.\\par\n"
        "Tab\\tab end}";
    std::string error;
    auto text = readRTF(rtf, &error);
    ASSERT_TRUE(text) << error;
    EXPECT_EQ(text->string(), "Duolume\nMade by many people.\nTab\tend");
    EXPECT_EQ(text->runs(), (std::vector<TextRun>{{"Duolume", true, false},
                                                  {"\nMade by ", false, false},
                                                  {"many", false, true},
                                                  {" people.\nTab\tend", false, false}}));
}

TEST(RTFReader, ReadsEscapesAndUnicodeWithFallbacks) {
    std::string error;
    auto text = readRTF(
        "{\\rtf1\\ansi Caf\\'e9 \\'93q\\'94 \\u8220?x\\u8221? {\\uc3\\u8364 "
        "EUR}\\u-10179?\\u-8704? "
        "\\{\\}\\\\ a\\~b\\emdash \\plain\\b B\\plain N}",
        &error);
    ASSERT_TRUE(text) << error;
    EXPECT_EQ(text->string(),
              "Caf\u00E9 \u201Cq\u201D \u201Cx\u201D \u20AC\U0001F600 {}\\ a\u00A0b\u2014BN");
    EXPECT_EQ(text->runs()[1], (TextRun{"B", true, false}));
}

TEST(RTFReader, DamagedDocumentsAreReadFailures) {
    const std::vector<std::string> damaged = {
        "",
        "plain text",
        "{\\rtf1 unclosed",
        "{\\rtf1 too many}}",
        "{\\rtf1 text} and more",
        "{\\rtf1 \\'4",  // truncated escape
        "{\\rtf1 \\'zz}",
        "{\\rtf1 \\",
        "{\\rtf1 \\bin99999 x}",     // binary data longer than the file
        "{\\rtf1 \\u99999999999?}",  // number too long
        "{\\rtf1 \\abcdefghijabcdefghijabcdefghijabcdefghij x}",
        R"({\rtf1\mac caf\'8e})",  // a code page it does not read
        "{\\rtf1 \\b- x}",
        std::string(5000, '{'),
        "{\\rtf1 " + std::string(300, '{') + std::string(300, '}') + "}",
    };
    for (const auto& rtf : damaged) {
        std::string error;
        EXPECT_FALSE(readRTF(rtf, &error)) << "accepted: " << rtf.substr(0, 60);
        EXPECT_FALSE(error.empty());
    }
}

TEST(RTFReader, InitWithURLNeedsTheRTFTypeAndAReadableFile) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "Credits.rtf", "{\\rtf1 Hi}");
    const NSAttributedStringDocumentReadingOptions rtf = {
        {NSDocumentTypeDocumentAttribute, NSRTFTextDocumentType}};
    auto text = NSAttributedString::initWithURL(dir / "Credits.rtf", rtf);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->string(), "Hi");
    std::string error;
    EXPECT_FALSE(NSAttributedString::initWithURL(dir / "Credits.rtf", {}, &error));
    EXPECT_FALSE(NSAttributedString::initWithURL(dir / "Missing.rtf", rtf, &error));
    EXPECT_NE(error.find("Missing.rtf"), std::string::npos);
}
