// The settings domain's reading rules, key rules and the one write path, on
// the simulated machine.
#include <gtest/gtest.h>

#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "sim/SimMachine.h"

using namespace duolume;
using platform::sim::SimMachine;

TEST(SettingsKeys, CurveKeysFromLevelsAndSliderTags) {
    EXPECT_EQ(curveKeyForLevel(kInternalPrefix, 0), "internal0");
    EXPECT_EQ(curveKeyForLevel(kExternalPrefix, 10), "external10");
    EXPECT_EQ(curveKeyForSliderTag(0), "internal0");
    EXPECT_EQ(curveKeyForSliderTag(10), "internal10");
    EXPECT_EQ(curveKeyForSliderTag(100), "external0");
    EXPECT_EQ(curveKeyForSliderTag(105), "external5");
    EXPECT_EQ(curveKeyForSliderTag(110), "external10");
    // 99 is not an external tag: it stays internal, unchanged.
    EXPECT_EQ(curveKeyForSliderTag(99), "internal99");
}

TEST(SettingsReading, AbsentDomainReadsFalseAndZero) {
    SimMachine::installNew();
    auto domain = fetchSettings();
    EXPECT_FALSE(domain.has_value());
    EXPECT_FALSE(settingsBool(domain, kEnabledKey));
    EXPECT_FALSE(settingsBool(domain, kSingleMonitorDisabledKey));
    EXPECT_FALSE(settingsBool(domain, kSuppressHardwareWarningKey));
    for (int level = 0; level < kCurveLevels; ++level) {
        EXPECT_EQ(settingsDouble(domain, curveKeyForLevel(kInternalPrefix, level)), 0.0);
        EXPECT_EQ(settingsDouble(domain, curveKeyForLevel(kExternalPrefix, level)), 0.0);
    }
}

TEST(SettingsReading, NumbersOfAnyKindReadAsNumbersAndOtherValuesAsAbsent) {
    NSDictionary d;
    d["enabled"] = PlistValue::integer(1);
    d["singleMonitorDisabled"] = PlistValue::real(0.0);
    d["suppressHardwareWarning"] = PlistValue::string("YES");  // a string is not a boolean
    d["internal1"] = PlistValue::boolean(true);
    d["internal2"] = PlistValue::integer(0);
    d["internal3"] = PlistValue::date(12.0);
    d["internal4"] = PlistValue::realSingle(0.4f);
    std::optional<NSDictionary> domain = d;
    EXPECT_TRUE(settingsBool(domain, "enabled"));
    EXPECT_FALSE(settingsBool(domain, "singleMonitorDisabled"));
    EXPECT_FALSE(settingsBool(domain, "suppressHardwareWarning"));
    EXPECT_EQ(settingsDouble(domain, "internal1"), 1.0);
    EXPECT_EQ(settingsDouble(domain, "internal2"), 0.0);
    EXPECT_EQ(settingsDouble(domain, "internal3"), 0.0);
    EXPECT_EQ(settingsDouble(domain, "internal4"), static_cast<double>(0.4f));
}

TEST(SettingsInitial, TwentyFourEntriesWithCurveValuesInSinglePrecision) {
    auto d = initialSettings();
    ASSERT_EQ(d.size(), 24u);
    EXPECT_EQ(d.at("enabled"), PlistValue::boolean(false));
    EXPECT_EQ(d.at("singleMonitorDisabled"), PlistValue::boolean(false));
    EXPECT_EQ(d.count("suppressHardwareWarning"), 0u);
    for (int level = 0; level <= 10; ++level) {
        for (const auto& prefix : {kInternalPrefix, kExternalPrefix}) {
            const auto& v = d.at(curveKeyForLevel(prefix, level));
            EXPECT_TRUE(v.isSinglePrecision());
            EXPECT_EQ(*v.doubleValue(), static_cast<double>(static_cast<float>(level / 10.0)));
        }
    }
    EXPECT_EQ(*d.at("internal1").doubleValue(), 0.10000000149011612);
}

TEST(SettingsWritePath, UnderTheLockReadsStoresFlushesThenPostsWithoutObject) {
    auto& sim = SimMachine::installNew();
    auto& defaults = sim.simDefaults();
    defaults.domains[ProductIdentifier] = initialSettings();
    std::vector<std::string> journalAtPost;
    NSDictionary storedAtPost;
    sim.simBus().onPost = [&](const auto&) {
        journalAtPost = defaults.journal;
        storedAtPost = defaults.domains.at(ProductIdentifier);
    };
    setPrefsForKey(PlistValue::real(0.25), "internal3");
    auto expected = initialSettings();
    expected["internal3"] = PlistValue::real(0.25);
    // Stored and flushed before the post, the whole read-modify-write under the lock.
    EXPECT_EQ(storedAtPost, expected);
    EXPECT_EQ(journalAtPost,
              (std::vector<std::string>{"lock", "read", "write", "flush", "unlock"}));
    ASSERT_EQ(sim.simBus().posts.size(), 1u);
    EXPECT_EQ(sim.simBus().posts[0].name, "org.duolume.Duolume.prefsChanged");
    EXPECT_FALSE(sim.simBus().posts[0].object.has_value());
}

// When the lock cannot be had, a late write is better than a lost one: the
// change is stored, flushed and announced all the same.
TEST(SettingsWritePath, WithoutTheLockTheValueIsStillStoredAndAnnounced) {
    auto& sim = SimMachine::installNew();
    sim.simDefaults().domains[ProductIdentifier] = initialSettings();
    sim.simDefaults().lockHeldElsewhere = true;
    setPrefsForKey(PlistValue::real(0.5), "external2");
    EXPECT_EQ(sim.simDefaults().domains.at(ProductIdentifier).at("external2"),
              PlistValue::real(0.5));
    EXPECT_EQ(sim.simDefaults().domains.at(ProductIdentifier).size(), 24u);
    EXPECT_EQ(sim.simDefaults().journal, (std::vector<std::string>{"read", "write", "flush"}));
    EXPECT_EQ(sim.simBus().posts.size(), 1u);
}

TEST(SettingsWritePath, FailedStorageStillAnnouncesAndEveryCallPosts) {
    auto& sim = SimMachine::installNew();
    sim.simDefaults().failFlush = true;
    setPrefsForKey(PlistValue::integer(1), "enabled");
    setPrefsForKey(PlistValue::integer(1), "enabled");
    EXPECT_EQ(sim.simBus().posts.size(), 2u);
    // An absent domain becomes a domain with just the written key.
    EXPECT_EQ(sim.simDefaults().domains.at(ProductIdentifier).size(), 1u);
}

TEST(SettingsWritePath, InitialSettingsAreWrittenWithoutAnnouncement) {
    auto& sim = SimMachine::installNew();
    writeInitialSettings(initialSettings());
    EXPECT_EQ(sim.simDefaults().domains.at(ProductIdentifier).size(), 24u);
    EXPECT_EQ(sim.simDefaults().flushes, 1);
    EXPECT_TRUE(sim.simBus().posts.empty());
}
