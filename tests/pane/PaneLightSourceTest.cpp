// Where the light comes from, in the window: the status line while the
// light is the sun's estimate, the room's control shown only then, and the
// two settings stored through the one write path and handed to the light
// sources.
#include <gtest/gtest.h>

#include <QSlider>

#include "pane/DuolumePref.h"
#include "pane/PaneHarness.h"
#include "settings/SettingsKeys.h"

using testing_support::PaneHarness;

namespace {

std::string statusLine(const PaneHarness& h) {
    return h.pane().statusLine->stringValue();
}

bool roomControlShown(const PaneHarness& h) {
    return !h.pane().roomBrightnessControls->isHidden();
}

}  // namespace

TEST(PaneLightSource, TheStatusLineSaysWhyTheLightIsTheSunsAndTheRoomControlShowsOnlyThen) {
    using Cause = platform::LightEstimateCause;
    struct Row {
        Cause cause;
        const char* says;
    };
    const Row rows[] = {
        {Cause::NoSensor, "Light: estimated from the sun at Berlin (no light sensor)."},
        {Cause::LidClosed, "Light: estimated from the sun at Berlin (the lid is closed)."},
        {Cause::PanelOff, "Light: estimated from the sun at Berlin (the built-in display is off)."},
        {Cause::SensorStopped,
         "Light: estimated from the sun at Berlin (the light sensor has stopped)."},
        {Cause::Preferred, "Light: estimated from the sun at Berlin (chosen in this window)."},
    };
    PaneHarness h;
    h.sim().simLightSensor().serviceClientPresent = true;
    h.sim().simLightSensor().reading = 80.0;
    h.open();
    h.dismissNotice(true);
    EXPECT_EQ(statusLine(h).rfind("Light sensor: service client.", 0), 0u) << statusLine(h);
    EXPECT_FALSE(roomControlShown(h));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.says);
        // The light sources' change reaches the window without a reselection.
        h.sim().simLightSensor().changeServiceClientEstimate(
            platform::LightEstimateInUse{"Berlin", row.cause});
        EXPECT_EQ(statusLine(h).rfind(row.says, 0), 0u) << statusLine(h);
        EXPECT_TRUE(roomControlShown(h));
    }
    h.sim().simLightSensor().changeServiceClientEstimate(std::nullopt);
    EXPECT_FALSE(roomControlShown(h));
}

TEST(PaneLightSource, TheRoomAndTheSunSwitchAreStoredAndHandedToTheLightSources) {
    PaneHarness h;
    h.sim().simLightSensor().changeServiceClientEstimate(
        platform::LightEstimateInUse{"Berlin", platform::LightEstimateCause::NoSensor});
    h.open();
    h.dismissNotice(true);
    auto& sensor = h.sim().simLightSensor();
    // A domain without the keys: an ordinary room, the sensor where there is one.
    EXPECT_EQ(h.slider("roomBrightnessSlider")->value(), 1);
    EXPECT_GE(sensor.estimateOptionsSet, 1);
    EXPECT_DOUBLE_EQ(sensor.estimateOptions.daylightShare, 0.02);
    EXPECT_FALSE(sensor.estimateOptions.preferEstimate);

    const int posts = h.changePosts();
    h.dragSlider("roomBrightnessSlider", 2);
    EXPECT_EQ(h.domain()->at(duolume::kRoomBrightnessKey), PlistValue::real(1.0));
    EXPECT_DOUBLE_EQ(sensor.estimateOptions.daylightShare, 0.05);
    h.dragSlider("roomBrightnessSlider", 0);
    EXPECT_EQ(h.domain()->at(duolume::kRoomBrightnessKey), PlistValue::real(-1.0));
    EXPECT_DOUBLE_EQ(sensor.estimateOptions.daylightShare, 0.01);
    h.click("sunEstimateSwitch");
    EXPECT_EQ(h.domain()->at(duolume::kSunEstimateForcedKey), PlistValue::integer(1));
    EXPECT_TRUE(sensor.estimateOptions.preferEstimate);
    EXPECT_EQ(h.changePosts(), posts + 3);  // each through the one write path
}
