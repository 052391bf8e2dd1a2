// Loading the pane: the initial settings on a first load, and an existing
// domain shown as stored, without writing.
#include <gtest/gtest.h>

#include "pane/PaneHarness.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsStore.h"

using testing_support::PaneHarness;

TEST(PaneLoad, FirstLoadWithoutADomainShowsAndStoresTheInitialCurveSilently) {
    PaneHarness h;
    h.open();
    for (int level = 0; level <= 10; ++level) {
        EXPECT_EQ(h.slider("internal" + std::to_string(level))->value(), level * 100) << level;
        EXPECT_EQ(h.slider("external" + std::to_string(level))->value(), level * 100) << level;
        EXPECT_NEAR((h.pane().*DuolumePref::kInternalSliders[level])->doubleValue(), level / 10.0,
                    1e-6);
    }
    EXPECT_FALSE(h.checkBox("mainSwitch")->isChecked());
    EXPECT_FALSE(h.checkBox("singleMonitorSwitch")->isChecked());
    ASSERT_TRUE(h.domain());
    EXPECT_EQ(h.domain()->size(), 24u);
    EXPECT_EQ(*h.domain(), duolume::initialSettings());
    EXPECT_EQ(h.changePosts(), 0);
}

TEST(PaneLoad, AnExistingDomainIsShownAsStoredAndNothingIsWritten) {
    PaneHarness h;
    h.sim().simDefaults().domains[duolume::ProductIdentifier] = {
        {"enabled", PlistValue::integer(1)},
        {"internal3", PlistValue::real(0.25)},
        {"external7", PlistValue::string("damaged")},
        {"external10", PlistValue::real(1.5)},
        {"suppressHardwareWarning", PlistValue::boolean(true)},
    };
    const NSDictionary before = *h.domain();
    h.open();
    EXPECT_TRUE(h.checkBox("mainSwitch")->isChecked());
    EXPECT_FALSE(h.checkBox("singleMonitorSwitch")->isChecked());  // missing: off
    EXPECT_EQ(h.slider("internal3")->value(), 250);
    EXPECT_EQ(h.slider("internal4")->value(), 0);      // missing: at the bottom
    EXPECT_EQ(h.slider("external7")->value(), 0);      // not a number: at the bottom
    EXPECT_EQ(h.slider("external10")->value(), 1000);  // beyond the range: at the top
    EXPECT_EQ(h.sim().simDefaults().writes, 0);
    EXPECT_EQ(*h.domain(), before);
    EXPECT_EQ(h.changePosts(), 0);
    EXPECT_FALSE(h.notice());
}
