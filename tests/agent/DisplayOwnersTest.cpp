// Who owns the displays: the agent keeps what a person set, leaves the
// desktop's idle dimming, another user's screen and the desktop's own
// automatic brightness alone, and lets monitors' own light sensors go back
// to what they were.
#include <gtest/gtest.h>
#include <signal.h>

#include "CoreFoundation/CFRunLoop.h"
#include "agent/BackgroundAgent.h"
#include "report/DisplayOwnership.h"
#include "settings/ProductIdentifier.h"
#include "tests/agent/AgentTestSupport.h"
#include "tests/support/HidElements.h"
#include "tests/support/SimAppleMonitor.h"

using duolume::BackgroundAgent;
using duolume::Owner;
using testing_support::plugInAppleMonitor;
using testing_support::reportSixteen;

namespace {

double monitorLevel(const platform::sim::SimHIDDevice& monitor) {
    return reportSixteen(monitor) / 65535.0;
}

// An Apple USB monitor beside the laptop's panel: a second display and its
// HID device.
platform::sim::SimHIDDevice& plugInMonitor(SimLaptop& laptop) {
    laptop.sim.simDisplays().addExternalDisplay(9);
    return plugInAppleMonitor(laptop.sim.simHID());
}

Owner builtinOwner(const BackgroundAgent& agent) {
    return agent.owners().builtin ? agent.owners().builtin->owner : Owner::Curve;
}

// What the agent published for the window, read back as the window reads it.
duolume::Owners published(SimLaptop& laptop) {
    auto& values = laptop.sim.simSession().published;
    auto it = values.find({duolume::AgentBusName, duolume::OwnersKey});
    return it == values.end() ? duolume::Owners{} : duolume::decodeOwners(it->second);
}

// The new level announced, and time for a fade to end.
void changeLight(SimLaptop& laptop, double level) {
    laptop.setLight(level);
    laptop.announce();
    laptop.sim.runFor(2.0);
}

TEST(DisplayOwners, APersonsBrightnessIsKeptUntilTheLightMovesAWholeLevel) {
    SimLaptop laptop;
    auto& monitor = plugInMonitor(laptop);
    laptop.setLight(4.0);
    BackgroundAgent agent;
    agent.start();
    laptop.sim.runFor(1.0);
    ASSERT_NEAR(laptop.builtin(), 0.4, 0.01);

    laptop.display->brightness = 0.8;  // the brightness keys
    changeLight(laptop, 4.4);
    EXPECT_NEAR(laptop.builtin(), 0.8, 1e-6) << "a passing cloud undid the keys";
    EXPECT_NEAR(monitorLevel(monitor), 0.44, 0.01) << "the monitor still follows the curve";
    EXPECT_EQ(builtinOwner(agent), Owner::Person);
    EXPECT_EQ(published(laptop).builtin->owner, Owner::Person);
    EXPECT_NEAR(published(laptop).builtin->value, 0.8, 1e-4);
    EXPECT_NEAR(published(laptop).builtin->level, 4.0, 0.05) << "the level the person set it at";
    EXPECT_EQ(published(laptop).builtinRoute, laptop.sim.simDisplays().route);

    changeLight(laptop, 3.3);  // within a level, the other way
    EXPECT_NEAR(laptop.builtin(), 0.8, 1e-6);

    laptop.sim.sleeps.clear();
    changeLight(laptop, 6.2);
    EXPECT_NEAR(laptop.builtin(), 0.62, 0.01);
    EXPECT_EQ(laptop.sim.sleeps.size(), 100u) << "back onto the curve with a fade";
    EXPECT_EQ(builtinOwner(agent), Owner::Curve);
    int heldLines = 0;
    for (const auto& line : laptop.sim.logLines)
        heldLines += line.find("Built-in display: held at 80 % since") != std::string::npos;
    EXPECT_EQ(heldLines, 1) << "logged once, not at every look";
}

TEST(DisplayOwners, TheWindowTheSettingsAndAWakeUpEachDoWhatTheyShouldWithAHold) {
    SimLaptop laptop;
    laptop.setLight(5.0);
    BackgroundAgent agent;
    agent.start();
    laptop.display->brightness = 0.9;
    changeLight(laptop, 5.2);
    ASSERT_EQ(builtinOwner(agent), Owner::Person);

    // The firmware restores something else at wake: the held value comes back.
    laptop.display->brightness = 0.05;
    laptop.sim.simSession().wake();
    laptop.sim.runFor(0.0);
    EXPECT_NEAR(laptop.builtin(), 0.9, 1e-6);
    EXPECT_EQ(builtinOwner(agent), Owner::Person);

    laptop.sim.simBus().deliverFromOtherProcess(duolume::FollowCurveNotification, "monitors");
    laptop.sim.runFor(1.0);
    EXPECT_NEAR(laptop.builtin(), 0.9, 1e-6) << "the request named the monitors";
    laptop.sim.simBus().deliverFromOtherProcess(duolume::FollowCurveNotification, "builtin");
    laptop.sim.runFor(1.0);
    EXPECT_NEAR(laptop.builtin(), 0.52, 0.01);
    EXPECT_EQ(builtinOwner(agent), Owner::Curve);

    laptop.display->brightness = 0.9;
    changeLight(laptop, 5.0);
    ASSERT_EQ(builtinOwner(agent), Owner::Person);
    duolume::setPrefsForKey(PlistValue::real(0.3), "internal5");
    laptop.sim.runFor(0.0);
    EXPECT_NEAR(laptop.builtin(), 0.3, 1e-6) << "a new curve ends the hold";
}

TEST(DisplayOwners, TheDesktopsIdleDimmingIsNeitherUndoneNorLearnt) {
    SimLaptop laptop;
    laptop.setLight(5.0);
    BackgroundAgent agent;
    agent.start();
    auto& session = laptop.sim.simSession();

    // GNOME dims before it says the session is idle.
    session.inputIdleSeconds = 20.0;
    laptop.display->brightness = 0.3;
    changeLight(laptop, 5.6);
    EXPECT_NEAR(laptop.builtin(), 0.3, 1e-6) << "the light change brightened a dimmed screen";
    EXPECT_EQ(builtinOwner(agent), Owner::SessionIdle);

    session.setSessionState({.active = true, .idle = true});
    laptop.sim.runFor(0.0);
    const auto writes = laptop.sim.simDisplays().writes.size();
    changeLight(laptop, 8.0);
    EXPECT_EQ(laptop.sim.simDisplays().writes.size(), writes) << "written while idle";

    // The person is back: the desktop puts its brightness back, then the curve.
    session.inputIdleSeconds = 0.0;
    laptop.display->brightness = 0.5;
    session.setSessionState({.active = true, .idle = false});
    laptop.sim.runFor(5.0);
    EXPECT_NEAR(laptop.builtin(), 0.8, 0.01);
    EXPECT_EQ(builtinOwner(agent), Owner::Curve) << "the restore was taken for a person's";
    changeLight(laptop, 8.3);
    EXPECT_EQ(builtinOwner(agent), Owner::Curve);
}

TEST(DisplayOwners, WhileAnotherUserIsAtTheScreenNothingIsWrittenAndTheMonitorIsLetGo) {
    SimLaptop laptop;
    auto& monitor = plugInMonitor(laptop);
    BackgroundAgent agent;
    agent.start();
    laptop.sim.runFor(1.0);
    ASSERT_TRUE(monitor.open);

    auto& session = laptop.sim.simSession();
    session.setSessionState({.active = false});
    laptop.sim.runFor(0.0);
    EXPECT_FALSE(monitor.open);
    const auto displayWrites = laptop.sim.simDisplays().writes.size();
    const auto monitorWrites = monitor.sent.size();
    changeLight(laptop, 9.0);
    laptop.sim.simBus().deliverFromOtherProcess(duolume::PrefsChangedNotification);
    laptop.sim.runFor(1.0);
    EXPECT_EQ(laptop.sim.simDisplays().writes.size(), displayWrites);
    EXPECT_EQ(monitor.sent.size(), monitorWrites);
    EXPECT_FALSE(monitor.open);
    EXPECT_EQ(builtinOwner(agent), Owner::OtherUser);
    EXPECT_EQ(published(laptop).monitors->owner, Owner::OtherUser);

    // The other user left the displays elsewhere; that is not this person's hold.
    laptop.display->brightness = 0.2;
    session.setSessionState({.active = true});
    laptop.sim.runFor(0.0);
    EXPECT_NEAR(laptop.builtin(), 0.9, 0.01);
    EXPECT_NEAR(monitorLevel(monitor), 0.9, 0.01);
    EXPECT_EQ(builtinOwner(agent), Owner::Curve);
}

TEST(DisplayOwners, WhileTheMachineSleepsNothingIsWrittenAndBothKindsAreAsleep) {
    SimLaptop laptop;
    plugInMonitor(laptop);
    BackgroundAgent agent;
    agent.start();
    laptop.sim.runFor(1.0);

    laptop.sim.simSession().setSessionState({.active = true, .sleeping = true});
    laptop.sim.runFor(0.0);
    const auto writes = laptop.sim.simDisplays().writes.size();
    changeLight(laptop, 9.0);
    laptop.sim.simBus().deliverFromOtherProcess(duolume::PrefsChangedNotification);
    laptop.sim.runFor(1.0);
    EXPECT_EQ(laptop.sim.simDisplays().writes.size(), writes) << "written while asleep";
    EXPECT_EQ(builtinOwner(agent), Owner::Asleep);
    EXPECT_EQ(published(laptop).monitors->owner, Owner::Asleep);
}

TEST(DisplayOwners, WithTheDesktopsAutomaticBrightnessOnOnlyTheMonitorsAreDriven) {
    SimLaptop laptop;
    auto& session = laptop.sim.simSession();
    session.automaticBrightness = platform::DesktopAutomaticBrightness::On;
    auto& monitor = plugInMonitor(laptop);
    BackgroundAgent agent;
    agent.start();
    changeLight(laptop, 8.0);
    EXPECT_TRUE(laptop.sim.simDisplays().writes.empty());
    EXPECT_NEAR(monitorLevel(monitor), 0.8, 0.01);
    EXPECT_EQ(builtinOwner(agent), Owner::Desktop);

    // Switched off, on again: GNOME's choices are never taken for a person's,
    // and once it is off the panel follows the curve.
    session.automaticBrightness = platform::DesktopAutomaticBrightness::Off;
    changeLight(laptop, 6.0);
    ASSERT_NEAR(laptop.builtin(), 0.6, 0.01);
    session.automaticBrightness = platform::DesktopAutomaticBrightness::On;
    laptop.display->brightness = 0.35;
    changeLight(laptop, 6.3);
    EXPECT_NEAR(laptop.builtin(), 0.35, 1e-6);
    session.automaticBrightness = platform::DesktopAutomaticBrightness::Off;
    changeLight(laptop, 6.6);
    EXPECT_NEAR(laptop.builtin(), 0.66, 0.01);
    EXPECT_EQ(builtinOwner(agent), Owner::Curve);
}

// Switched in the desktop's own settings, the change is taken at once, not at
// the next change of the light.
TEST(DisplayOwners, TheDesktopsAutomaticBrightnessSwitchedInItsSettingsIsTakenAtOnce) {
    SimLaptop laptop;
    auto& session = laptop.sim.simSession();
    session.automaticBrightness = platform::DesktopAutomaticBrightness::On;
    BackgroundAgent agent;
    agent.start();
    changeLight(laptop, 7.0);
    laptop.display->brightness = 0.35;  // the desktop's choice
    session.setAutomaticBrightness(platform::DesktopAutomaticBrightness::Off);
    laptop.sim.runFor(2.0);
    EXPECT_NEAR(laptop.builtin(), 0.7, 0.01);
    EXPECT_EQ(builtinOwner(agent), Owner::Curve);

    session.setAutomaticBrightness(platform::DesktopAutomaticBrightness::On);
    laptop.sim.runFor(0.0);
    EXPECT_EQ(builtinOwner(agent), Owner::Desktop);
}

TEST(DisplayOwners, AMonitorsOwnLightSensorIsOffWhileDrivenAndBackOnWhenTheAgentEnds) {
    SimLaptop laptop;
    auto& hid = laptop.sim.simHID();
    laptop.sim.simDisplays().addExternalDisplay(9);
    auto& monitor = hid.addDevice(static_cast<std::int32_t>(duolume::kAppleUSBVendorID), 0x9226);
    testing_support::setReportSixteen(monitor, 0x8000);
    // Its light sensor's switch, as the 27" LED Cinema Display declares it.
    monitor.elementList = {testing_support::feature(102, 8, 1, 2, kHIDPage_MonitorVirtual,
                                                    kHIDUsage_VESA_AmbientLightSensor)};
    monitor.featureReports[102] = {2};  // on
    hid.plugIn(monitor);

    BackgroundAgent agent;
    agent.start();
    laptop.sim.runFor(1.0);
    EXPECT_EQ(monitor.featureReports[102], std::vector<std::uint8_t>{1});

    laptop.sim.simSession().requestTermination(SIGTERM);
    CFRunLoopRun();
    EXPECT_EQ(monitor.featureReports[102], std::vector<std::uint8_t>{2});
}

}  // namespace
