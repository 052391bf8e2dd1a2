// The pane's controls: every change stored through the one write path with
// one change notification, the slider tags and their keys, the engine asked
// to apply the curve only while the main switch shows off, and the agent
// switched after the setting is stored.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/BrightnessController.h"
#include "pane/PaneHarness.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsStore.h"

using testing_support::PaneHarness;

namespace {

// The pane, opened on a machine with a built-in display and a sensor that
// reads a level below 1, with the notice already dismissed.
struct ControlsHarness : PaneHarness {
    explicit ControlsHarness(std::optional<NSDictionary> stored = std::nullopt,
                             const std::string& bundlePath = testing_support::builtBundlePath()) {
        sim().simDisplays().addBuiltinDisplay(1, 0.5);
        sim().simDisplays().setAllOptionalOperationsPresent();
        sim().simLightSensor().controllerPresent = true;
        sim().simLightSensor().outputs[0] = sim().simLightSensor().outputs[1] = 100;
        sim().simLightSensor().serviceClientPresent = true;
        sim().simLightSensor().reading = 1.0;
        NSDictionary domain = stored.value_or(duolume::initialSettings());
        domain["suppressHardwareWarning"] = PlistValue::boolean(true);
        sim().simDefaults().domains[duolume::ProductIdentifier] = domain;
        open(bundlePath);
    }
    double builtinBrightness() { return sim().simDisplays().find(1)->brightness; }
    size_t displayWrites() { return sim().simDisplays().writes.size(); }
};

}  // namespace

TEST(PaneControls, SliderTagsNameTheirKeysAndEachChangePostsOnce) {
    ControlsHarness h;
    const struct {
        const char* slider;
        long tag;
        const char* key;
    } cases[] = {{"internal0", 0, "internal0"},
                 {"external5", 105, "external5"},
                 {"external10", 110, "external10"}};
    int posts = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(h.slider(c.slider)->property("tag").toLongLong(), c.tag);
        h.dragSlider(c.slider, 420);
        EXPECT_EQ(h.domain()->at(c.key), PlistValue::real(0.42)) << c.key;
        EXPECT_EQ(h.changePosts(), ++posts) << c.key;
    }
    // The rest of the domain is as it was.
    EXPECT_EQ(h.domain()->at("internal5"), duolume::initialSettings().at("internal5"));
    EXPECT_EQ(h.domain()->size(), 25u);
}

TEST(PaneControls, SlidersReportWhileTheKnobIsDragged) {
    ControlsHarness h;
    QSlider* s = h.slider("internal7");
    s->setSliderDown(true);
    s->setSliderPosition(500);
    EXPECT_EQ(h.domain()->at("internal7"), PlistValue::real(0.5));
    s->setSliderPosition(550);
    EXPECT_EQ(h.domain()->at("internal7"), PlistValue::real(0.55));
    s->setSliderDown(false);
    EXPECT_EQ(h.changePosts(), 2);
}

TEST(PaneControls, EngineAppliesTheCurveAtOnceWhileTheMainSwitchShowsOff) {
    ControlsHarness h;
    const double level = AmbientLightSensor::sharedInstance()->getCurrentAmbientLight();
    ASSERT_GT(level, 0.0);
    ASSERT_LT(level, 1.0);
    // Another process stores "enabled" behind the pane's back: the switch on
    // screen still shows off, and it decides.
    auto domain = *h.domain();
    domain["enabled"] = PlistValue::boolean(true);
    h.sim().simDefaults().domains[duolume::ProductIdentifier] = domain;

    h.dragSlider("internal1", 500);
    EXPECT_NEAR(h.builtinBrightness(), level * 0.5, 1e-6);
    EXPECT_TRUE(h.sim().sleeps.empty());  // at once, not in a fade
    EXPECT_EQ(h.changePosts(), 1);
}

TEST(PaneControls, EngineIsLeftAloneWhileTheMainSwitchShowsOn) {
    NSDictionary stored = duolume::initialSettings();
    stored["enabled"] = PlistValue::integer(1);
    ControlsHarness h(stored);
    ASSERT_TRUE(h.checkBox("mainSwitch")->isChecked());
    auto domain = *h.domain();
    domain["enabled"] = PlistValue::boolean(false);  // another process; the switch decides
    h.sim().simDefaults().domains[duolume::ProductIdentifier] = domain;

    h.dragSlider("external4", 420);
    EXPECT_EQ(h.domain()->at("external4"), PlistValue::real(0.42));
    EXPECT_EQ(h.changePosts(), 1);
    EXPECT_EQ(h.displayWrites(), 0u);
    EXPECT_DOUBLE_EQ(h.builtinBrightness(), 0.5);
}

TEST(PaneControls, SingleMonitorSwitchStoresAndAppliesNothing) {
    ControlsHarness h;
    h.click("singleMonitorSwitch");
    EXPECT_EQ(h.domain()->at("singleMonitorDisabled"), PlistValue::integer(1));
    EXPECT_EQ(h.changePosts(), 1);
    EXPECT_EQ(h.displayWrites(), 0u);
    EXPECT_TRUE(h.sim().simTasks().launches.empty());
}

TEST(PaneControls, DdcMonitorsSwitchShowsOnUntilSwitchedOffAndStoresThat) {
    NSDictionary stored = duolume::initialSettings();
    ControlsHarness h(stored);  // written before the switch existed: no key
    EXPECT_TRUE(h.checkBox("ddcMonitorsSwitch")->isChecked());
    h.click("ddcMonitorsSwitch");
    EXPECT_EQ(h.domain()->at("ddcMonitorsDisabled"), PlistValue::integer(1));
    h.click("ddcMonitorsSwitch");
    EXPECT_EQ(h.domain()->at("ddcMonitorsDisabled"), PlistValue::integer(0));
    EXPECT_EQ(h.changePosts(), 2);
    EXPECT_EQ(h.displayWrites(), 0u);
    stored["ddcMonitorsDisabled"] = PlistValue::boolean(true);
    ControlsHarness off(stored);
    EXPECT_FALSE(off.checkBox("ddcMonitorsSwitch")->isChecked());
}

TEST(PaneControls, MainSwitchStoresAndAnnouncesBeforeTheAgentIsLoadedOrUnloaded) {
    testing_support::TempDir library;
    ControlsHarness h;
    h.sim().libraryFolder = library.path();
    struct Seen {
        std::vector<std::string> arguments;
        std::optional<PlistValue> enabled;
        int posts;
    };
    std::vector<Seen> seen;
    h.sim().simTasks().onLaunch = [&](const platform::sim::SimTasks::Launch& launch) {
        seen.push_back({launch.arguments, plistLookup(*h.domain(), "enabled"), h.changePosts()});
    };

    h.click("mainSwitch");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].arguments.at(0), "load");
    EXPECT_EQ(seen[0].enabled, PlistValue::integer(1));
    EXPECT_EQ(seen[0].posts, 1);

    h.click("mainSwitch");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].arguments.at(0), "unload");
    EXPECT_EQ(seen[1].enabled, PlistValue::integer(0));
    EXPECT_EQ(seen[1].posts, 2);
    EXPECT_EQ(h.displayWrites(), 0u);  // the switch itself applies no brightness
}

TEST(PaneControls, MainSwitchKeepsItsNewStateWhenTheAgentCannotBeInstalled) {
    testing_support::TempDir dir;
    const std::string bundle = testing_support::copyOfBuiltBundle(dir);
    testing_support::writeFile(bundle + "/Contents/Resources/org.duolume.Duolume.plist",
                               "<plist><dict><key>Label");
    testing_support::TempDir library;
    ControlsHarness h(std::nullopt, bundle);
    h.sim().libraryFolder = library.path();
    h.sim().logLines.clear();

    h.click("mainSwitch");
    EXPECT_TRUE(h.checkBox("mainSwitch")->isChecked());
    EXPECT_EQ(h.domain()->at("enabled"), PlistValue::integer(1));
    EXPECT_EQ(h.changePosts(), 1);
    ASSERT_EQ(h.sim().logLines.size(), 1u);
    EXPECT_NE(h.sim().logLines[0].find("is not a property-list dictionary"), std::string::npos)
        << h.sim().logLines[0];
    EXPECT_TRUE(h.sim().simTasks().launches.empty());
    EXPECT_FALSE(std::filesystem::exists(library.path() + "/LaunchAgents"));

    // The pane goes on: the curve is still stored and, with the switch on,
    // left to the agent.
    h.dragSlider("internal3", 420);
    EXPECT_EQ(h.domain()->at("internal3"), PlistValue::real(0.42));
    EXPECT_EQ(h.changePosts(), 2);
    EXPECT_EQ(h.displayWrites(), 0u);

    // Turning it off again is stored the same way and still launches nothing.
    h.click("mainSwitch");
    EXPECT_FALSE(h.checkBox("mainSwitch")->isChecked());
    EXPECT_EQ(h.domain()->at("enabled"), PlistValue::integer(0));
    EXPECT_TRUE(h.sim().simTasks().launches.empty());
}
