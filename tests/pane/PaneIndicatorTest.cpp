// The level indicator follows the sensor while the pane is selected, shows
// failure markers as they come, and is left alone while not selected.
#include <gtest/gtest.h>

#include "Foundation/NSNotificationCenter.h"
#include "pane/PaneHarness.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/ProductIdentifier.h"

using testing_support::PaneHarness;

namespace {

void announce(double level) {
    NSNotificationCenter::defaultCenter().postNotificationName(AmbientLightChangedNotification,
                                                               PlistValue::real(level));
}

void suppressNotice(PaneHarness& h) {
    h.sim().simDefaults().domains[duolume::ProductIdentifier] = {
        {"suppressHardwareWarning", PlistValue::boolean(true)}};
}

}  // namespace

TEST(PaneIndicator, FollowsTheSensorOnlyWhileSelected) {
    PaneHarness h;
    suppressNotice(h);
    auto& sensor = h.sim().simLightSensor();
    sensor.controllerPresent = sensor.serviceClientPresent = true;
    sensor.outputs[0] = sensor.outputs[1] = 2000;
    sensor.reading = 150.0;
    h.open();
    // Set from the sensor at selection, without waiting for a change.
    const double atSelection = AmbientLightSensor::sharedInstance()->getCurrentAmbientLight();
    ASSERT_GT(atSelection, 0.0);
    EXPECT_DOUBLE_EQ(h.pane().ambientLightIndicator->doubleValue(), atSelection);
    EXPECT_EQ(h.indicator()->value(), std::lround(atSelection * 100));

    announce(3.7);
    EXPECT_DOUBLE_EQ(h.pane().ambientLightIndicator->doubleValue(), 3.7);
    EXPECT_EQ(h.indicator()->value(), 370);

    h.window().unselectPane();
    announce(8.0);
    EXPECT_DOUBLE_EQ(h.pane().ambientLightIndicator->doubleValue(), 3.7);

    h.window().selectPane(0);
    EXPECT_DOUBLE_EQ(h.pane().ambientLightIndicator->doubleValue(), atSelection);
}

TEST(PaneIndicator, TheSensorsOwnAnnouncementsReachTheIndicator) {
    PaneHarness h;
    suppressNotice(h);
    auto& sensor = h.sim().simLightSensor();
    sensor.controllerPresent = true;
    sensor.serviceClientPresent = true;
    sensor.reading = 5.0;
    h.open();
    sensor.outputs[0] = sensor.outputs[1] = 40000;
    sensor.reading = 400.0;
    // Either back-end: a driver message, or the next one-second poll.
    sensor.deliverInterestMessage();
    h.sim().runFor(1.5);
    const double now = AmbientLightSensor::sharedInstance()->getCurrentAmbientLight();
    EXPECT_DOUBLE_EQ(h.pane().ambientLightIndicator->doubleValue(), now);
}

#if !defined(DUOLUME_ALS_BACKEND_SERVICE_CLIENT)
TEST(PaneIndicator, NegativeLevelsArePassedThroughAndShowEmpty) {
    PaneHarness h;
    suppressNotice(h);
    auto& sensor = h.sim().simLightSensor();
    sensor.controllerPresent = true;
    sensor.outputs[0] = 0xFFFFFFFF;  // the controller's "no value" mark: level -2
    h.open();
    // Both failure markers, read at selection, reach the indicator unchanged.
    EXPECT_DOUBLE_EQ(h.pane().ambientLightIndicator->doubleValue(), -2.0);
    EXPECT_EQ(h.indicator()->value(), h.indicator()->minimum());
    sensor.scalarStatus = kIOReturnNotResponding;  // a failed read: level -1
    h.reselect();
    EXPECT_DOUBLE_EQ(h.pane().ambientLightIndicator->doubleValue(), -1.0);
    EXPECT_TRUE(h.indicator()->isVisibleTo(&h.window())) << "the page came back hidden";
    // And when announced.
    announce(5.0);
    announce(-2.0);
    EXPECT_DOUBLE_EQ(h.pane().ambientLightIndicator->doubleValue(), -2.0);
    EXPECT_EQ(h.indicator()->value(), h.indicator()->minimum());
}
#endif
