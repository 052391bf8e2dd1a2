// The background agent on a simulated laptop.
#include <gtest/gtest.h>
#include <signal.h>
#include <algorithm>

#include "CoreFoundation/CFRunLoop.h"
#include "agent/BackgroundAgent.h"
#include "settings/ProductIdentifier.h"
#include "tests/agent/AgentTestSupport.h"

using duolume::BackgroundAgent;

namespace {

int countLogs(const std::vector<std::string>& lines, const std::string& part) {
    int n = 0;
    for (const auto& l : lines)
        n += l.find(part) != std::string::npos;
    return n;
}

TEST(BackgroundAgent, StartsByClaimingTheSessionAndApplyingTheCurveAtOnce) {
    SimLaptop laptop;
    laptop.setLight(7.0);
    BackgroundAgent agent;
    EXPECT_EQ(agent.start(), BackgroundAgent::Start::Running);

    EXPECT_EQ(laptop.sim.simSession().claimedNames,
              std::vector<std::string>{duolume::AgentBusName});
    EXPECT_NEAR(laptop.builtin(), 0.7, 0.01);
    EXPECT_TRUE(laptop.sim.sleeps.empty()) << "no fade at start";
    ASSERT_TRUE(agent.lastApplied());
    // The logged targets are the ones the engine wrote.
    EXPECT_NEAR(agent.lastApplied()->internal, laptop.builtin(), 1e-6);
    EXPECT_EQ(countLogs(laptop.sim.logLines, "built-in display 70%, USB monitors 70% (started)"), 1)
        << ::testing::PrintToString(laptop.sim.logLines);
}

// It neither writes nor looks at the hardware: no report of what it found.
TEST(BackgroundAgent, ASecondAgentLeavesWithoutTouchingAnything) {
    SimLaptop laptop;
    laptop.sim.simSession().namesOwnedElsewhere.insert(duolume::AgentBusName);
    BackgroundAgent agent;
    EXPECT_EQ(agent.start(), BackgroundAgent::Start::AnotherAgentRuns);
    EXPECT_TRUE(laptop.sim.simDisplays().writes.empty());
    EXPECT_EQ(countLogs(laptop.sim.logLines, "Another Duolume agent already runs"), 1);
    EXPECT_EQ(countLogs(laptop.sim.logLines, "Built-in display"), 0);
    EXPECT_EQ(countLogs(laptop.sim.logLines, "Light sensor"), 0);
}

TEST(BackgroundAgent, WithoutASessionBusItStillKeepsTheDisplaysOnTheCurve) {
    SimLaptop laptop;
    laptop.sim.simSession().sessionBusAvailable = false;
    BackgroundAgent agent;
    EXPECT_EQ(agent.start(), BackgroundAgent::Start::Running);
    EXPECT_NEAR(laptop.builtin(), 0.5, 0.01);
}

// The agent decides once per sync: the settings it read are the ones the
// targets it logs and applies come from, with nothing read again behind it.
TEST(BackgroundAgent, ALightChangeFadesToTheNewTargetFromOneReadOfTheSettings) {
    SimLaptop laptop;
    laptop.setLight(3.0);
    BackgroundAgent agent;
    agent.start();
    ASSERT_NEAR(laptop.builtin(), 0.3, 0.01);
    auto& journal = laptop.sim.simDefaults().journal;
    journal.clear();

    laptop.setLight(8.0);
    laptop.announce();
    EXPECT_NEAR(laptop.builtin(), 0.8, 0.01);
    EXPECT_EQ(laptop.sim.sleeps.size(), 100u) << "one fade of 100 steps";
    EXPECT_EQ(countLogs(laptop.sim.logLines, "(light changed, fading)"), 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "read"), 1)
        << ::testing::PrintToString(journal);
    EXPECT_NEAR(agent.lastApplied()->internal, laptop.builtin(), 1e-6);
}

// Sensor noise in steady light must not make the displays hunt: every
// announcement used to become a write to every display.
TEST(BackgroundAgent, SensorNoiseInSteadyLightWritesNothingButARealChangeStillArrives) {
    SimLaptop laptop;
    laptop.setLight(4.0);
    BackgroundAgent agent;
    agent.start();
    const auto writesAtStart = laptop.sim.simDisplays().writes.size();

    for (int i = 0; i < 30; ++i) {
        laptop.nudgeRaw(i % 2 ? 3.0 : -3.0);
        laptop.announce();
    }
    EXPECT_EQ(laptop.sim.simDisplays().writes.size(), writesAtStart);

    // A slow drift in one direction adds up and is applied once it is visible.
    const double before = laptop.builtin();
    for (int step = 1; step <= 20; ++step) {
        laptop.setLight(4.0 + 0.01 * step);
        laptop.announce();
    }
    EXPECT_GT(laptop.builtin(), before);
    EXPECT_NEAR(laptop.builtin(), 0.42, 0.011);
}

TEST(BackgroundAgent, ASettingsChangeFromThePaneAppliesAtOnce) {
    SimLaptop laptop;
    laptop.setLight(7.0);
    BackgroundAgent agent;
    agent.start();
    laptop.sim.sleeps.clear();

    duolume::setPrefsForKey(PlistValue::real(0.25), "internal7");
    laptop.sim.runFor(0.0);
    EXPECT_NEAR(laptop.builtin(), 0.25, 1e-6);
    EXPECT_TRUE(laptop.sim.sleeps.empty()) << "no fade for a settings change";
    EXPECT_EQ(
        countLogs(laptop.sim.logLines, "built-in display 25%, USB monitors 70% (settings changed)"),
        1);
}

TEST(BackgroundAgent, ResumeFromSleepAppliesTheCurveAgain) {
    SimLaptop laptop;
    BackgroundAgent agent;
    agent.start();
    laptop.display->brightness = 0.05;  // the firmware restored something else
    laptop.sim.simSession().wake();
    laptop.sim.runFor(0.0);
    EXPECT_NEAR(laptop.builtin(), 0.5, 0.01);
    EXPECT_EQ(countLogs(laptop.sim.logLines, "(resumed from sleep)"), 1);
}

TEST(BackgroundAgent, ATerminationRequestStopsTheRunLoop) {
    SimLaptop laptop;
    BackgroundAgent agent;
    agent.start();
    laptop.sim.simSession().requestTermination(SIGTERM);
    CFRunLoopRun();  // returns only when stopped
    EXPECT_EQ(countLogs(laptop.sim.logLines, "ends on signal 15"), 1);
}

TEST(BackgroundAgent, RequestsThatChangeNothingAreLoggedOncePerReason) {
    SimLaptop laptop;
    auto settings = *duolume::fetchSettings();
    settings[duolume::kSingleMonitorDisabledKey] = PlistValue::integer(1);
    duolume::writeInitialSettings(settings);
    BackgroundAgent agent;
    agent.start();
    for (int i = 0; i < 3; ++i) {
        laptop.setLight(2.0 + i);
        laptop.announce();
    }
    EXPECT_TRUE(laptop.sim.simDisplays().writes.empty());
    EXPECT_EQ(countLogs(laptop.sim.logLines, "Displays left alone: no USB monitor is attached"), 1);
    EXPECT_FALSE(agent.lastApplied());

    // Light at level 0 with the initial curve: both points 0.0.
    settings[duolume::kSingleMonitorDisabledKey] = PlistValue::integer(0);
    duolume::writeInitialSettings(settings);
    laptop.setLight(0.0);
    laptop.announce();
    laptop.announce();
    EXPECT_EQ(countLogs(laptop.sim.logLines, "Displays left alone: the curve is 0"), 1);
}

}  // namespace
