// Bundles in the user's language: the choice of <lang>.lproj folders from the
// environment, string tables with their fallbacks, and the localized info
// dictionary.
#include <gtest/gtest.h>

#include "Foundation/NSBundle.h"
#include "Foundation/PreferredLanguages.h"
#include "sim/SimMachine.h"
#include "support/TempDir.h"

using platform::preferredLanguages;
using platform::sim::SimMachine;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::writeFile;
using Languages = std::vector<std::string>;

namespace {
std::string utf16LittleEndianWithMark(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii)
        bytes += std::string{c, '\0'};
    return bytes;
}
}  // namespace

TEST(PreferredLanguages, FollowLanguageListThenLocaleAsGettextDoes) {
    EXPECT_EQ(preferredLanguages("de_AT:fr", "", "", "en_US.UTF-8"),
              (Languages{"de_AT", "de", "fr", "en_US", "en"}));
    EXPECT_EQ(preferredLanguages("", "fr_CA.UTF-8@euro", "de_DE", "en_US"),
              (Languages{"fr_CA", "fr"}));
    EXPECT_EQ(preferredLanguages("", "", "de_DE.UTF-8", "en_US"), (Languages{"de_DE", "de"}));
    EXPECT_EQ(preferredLanguages("", "", "", "pt-BR"), (Languages{"pt-BR", "pt"}));
    // The C locale turns LANGUAGE off; nothing is preferred then.
    EXPECT_EQ(preferredLanguages("de", "C", "", "de_DE"), Languages{});
    EXPECT_EQ(preferredLanguages("de", "", "", "POSIX"), Languages{});
    EXPECT_EQ(preferredLanguages("", "", "", ""), Languages{});
    EXPECT_EQ(preferredLanguages("::de::", "", "", "de_DE"), (Languages{"de", "de_DE"}));
}

class BundleLocalization : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_ = &SimMachine::installNew();
        writeFile(dir_ / "Test.bundle/Contents/Info.plist",
                  "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                  "<key>CFBundleName</key><string>Test</string>"
                  "<key>NSHumanReadableCopyright</key><string>Copyright Test</string>"
                  "<key>CFBundleVersion</key><string>7</string></dict></plist>");
        resources_ = dir_ / "Test.bundle/Contents/Resources";
        writeFile(resources_ + "/en.lproj/Localizable.strings",
                  R"("Hello" = "Hello!"; "Only English" = "Yes";)");
        writeFile(resources_ + "/de.lproj/Localizable.strings", R"("Hello" = "Hallo!";)");
        // In UTF-16, as the platform's own tables often are.
        writeFile(
            resources_ + "/de.lproj/InfoPlist.strings",
            utf16LittleEndianWithMark(R"("NSHumanReadableCopyright" = "Urheberrecht Test";)"));
        writeFile(resources_ + "/fr.lproj/Localizable.strings", R"("Hello" = "Bonjour !";)");
        writeFile(resources_ + "/fr.lproj/InfoPlist.strings",
                  R"("CFBundleName" = "Essai"; "NSHumanReadableCopyright" = "Droits Essai";)");
        writeFile(resources_ + "/de.lproj/Credits.rtf", "{\\rtf1 Deutsch}");
        writeFile(resources_ + "/en.lproj/Credits.rtf", "{\\rtf1 English}");
        bundle_ = NSBundle::bundleWithPath(dir_ / "Test.bundle");
        ASSERT_TRUE(bundle_);
    }
    void language(const std::string& value) {
        envLanguage_.reset();  // restores the variable before it is set anew
        envLanguage_ = std::make_unique<ScopedEnv>("LANGUAGE", value);
    }

    TempDir dir_;
    std::string resources_;
    SimMachine* sim_ = nullptr;
    std::shared_ptr<NSBundle> bundle_;
    ScopedEnv lcAll_{"LC_ALL", std::nullopt};
    ScopedEnv lcMessages_{"LC_MESSAGES", std::nullopt};
    ScopedEnv lang_{"LANG", "en_US.UTF-8"};
    std::unique_ptr<ScopedEnv> envLanguage_;
};

TEST_F(BundleLocalization, StringsComeFromTheBestLanguageWithFallbacksToEnglishAndTheKey) {
    language("de_AT:fr");
    EXPECT_EQ(bundle_->preferredLocalizations(), (Languages{"de", "fr", "en"}));
    EXPECT_EQ(bundle_->localizedStringForKey("Hello", "", ""), "Hallo!");
    EXPECT_EQ(bundle_->localizedStringForKey("Only English", "", ""), "Yes");
    EXPECT_EQ(bundle_->localizedStringForKey("Nowhere", "", ""), "Nowhere");
    EXPECT_EQ(bundle_->localizedStringForKey("Nowhere", "Default", ""), "Default");
    EXPECT_EQ(bundle_->localizedStringForKey("Hello", "", "Other"), "Hello");
    language("fr");
    EXPECT_EQ(bundle_->localizedStringForKey("Hello", "", ""), "Bonjour !");
    language("it");
    EXPECT_EQ(bundle_->localizedStringForKey("Hello", "", ""), "Hello!");
}

TEST_F(BundleLocalization, ADamagedTableIsLoggedAndSkipped) {
    writeFile(resources_ + "/de.lproj/Localizable.strings", R"("Hello" = "Hallo!)");
    language("de");
    EXPECT_EQ(bundle_->localizedStringForKey("Hello", "", ""), "Hello!");
    ASSERT_FALSE(sim_->logLines.empty());
    EXPECT_NE(sim_->logLines.back().find("de.lproj/Localizable.strings"), std::string::npos);
}

TEST_F(BundleLocalization, InfoDictionaryTakesTheEntriesOfTheUsersLanguage) {
    language("fr:de");
    NSDictionary info = bundle_->localizedInfoDictionary();
    EXPECT_EQ(*info["CFBundleName"].stringValue(), "Essai");
    EXPECT_EQ(*info["NSHumanReadableCopyright"].stringValue(), "Droits Essai");
    EXPECT_EQ(*info["CFBundleVersion"].stringValue(), "7");
    language("de");
    info = bundle_->localizedInfoDictionary();
    EXPECT_EQ(*info["CFBundleName"].stringValue(), "Test");
    EXPECT_EQ(*info["NSHumanReadableCopyright"].stringValue(), "Urheberrecht Test");
    // The plain info dictionary stays as written.
    EXPECT_EQ(*bundle_->infoDictionary().at("NSHumanReadableCopyright").stringValue(),
              "Copyright Test");
}

TEST_F(BundleLocalization, ResourcesAreFoundInTheUsersLanguageFolderFirst) {
    language("de");
    EXPECT_EQ(bundle_->pathForResource("Credits", "rtf"), resources_ + "/de.lproj/Credits.rtf");
    language("fr");
    EXPECT_EQ(bundle_->pathForResource("Credits", "rtf"), resources_ + "/en.lproj/Credits.rtf");
    writeFile(resources_ + "/Credits.rtf", "{\\rtf1 plain}");
    EXPECT_EQ(bundle_->pathForResource("Credits", "rtf"), resources_ + "/Credits.rtf");
}
