// The agent's report at start of what it found to work with.
#include <gtest/gtest.h>

#include <algorithm>

#include "agent/BackgroundAgent.h"
#include "settings/ProductIdentifier.h"
#include "support/SimAppleMonitor.h"
#include "tests/agent/AgentTestSupport.h"

using duolume::BackgroundAgent;

namespace {

// Index of the first log line containing `part`, or -1.
int lineWith(const std::vector<std::string>& lines, const std::string& part) {
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
}

TEST(AgentHardwareReport, NamesWhatItFoundBeforeItStartsWork) {
    SimLaptop laptop;
    testing_support::plugInAppleMonitor(laptop.sim.simHID(), 0x9236);
    auto& keyboard = laptop.sim.simHID().addDevice(0x05ac, 0x0250);  // Apple, but no monitor
    laptop.sim.simHID().plugIn(keyboard);
    laptop.sim.simSession().automaticBrightness = platform::DesktopAutomaticBrightness::On;
    BackgroundAgent agent;
    ASSERT_EQ(agent.start(), BackgroundAgent::Start::Running);
    const auto& log = laptop.sim.logLines;

    const int started = lineWith(log, "Duolume agent started");
    const int display = lineWith(log, "Display 0x1: usable, built-in panel");
    const int monitor = lineWith(log, "USB monitor");
    const int inUse = lineWith(log, "Light sensor in use: ");
    ASSERT_GE(display, 0) << ::testing::PrintToString(log);
    ASSERT_GE(monitor, 0);
    ASSERT_GE(inUse, 0);
    EXPECT_LT(display, started);
    EXPECT_LT(inUse, started);
    EXPECT_NE(log[monitor].find("usable, product 0x9236"), std::string::npos) << log[monitor];
    EXPECT_EQ(lineWith(log, "0x250"), -1) << "only monitors of the product table are reported";
    EXPECT_GE(lineWith(log, "Backlight DisplayServices: usable"), 0);
    const int gnome = lineWith(log, "GNOME's automatic screen brightness is on");
    EXPECT_GE(gnome, 0);
    EXPECT_LT(gnome, started);
    const bool controller = SimLaptop::controller();
    const std::string why = AmbientLightSensor::forcedBackend()
                                ? "because forced by the build"
                                : "because no AppleLMUController pair (Apple SMC) on this machine";
    EXPECT_NE(log[inUse].find(why), std::string::npos) << log[inUse];
    EXPECT_GE(lineWith(log, controller ? "Light sensor AppleLMUController: usable"
                                       : "Light sensor service client: usable"),
              0);
    EXPECT_GE(lineWith(log, controller ? "Light sensor service client: not usable, absent"
                                       : "Light sensor AppleLMUController: not usable, absent"),
              0);
}

TEST(AgentHardwareReport, SaysWhyWhatItLookedForCannotBeUsed) {
    SimLaptop laptop;
    testing_support::plugInAppleMonitor(laptop.sim.simHID());
    laptop.sim.simHID().managerCreationFails = true;
    laptop.sim.simDisplays().canChangeBrightness = false;
    laptop.sim.simDisplays().listStatus = kCGErrorFailure;
    BackgroundAgent agent;
    agent.start();
    const auto& log = laptop.sim.logLines;
    EXPECT_GE(lineWith(log, "not usable, product 0x9226, the HID manager cannot be opened"), 0)
        << ::testing::PrintToString(log);
    EXPECT_GE(
        lineWith(log, "Backlight DisplayServices: not usable, refuses to change the brightness"),
        0);
    EXPECT_GE(lineWith(log, "Display (none): not usable, the active display list fails"), 0);
    EXPECT_EQ(lineWith(log, "GNOME"), -1) << "no such desktop setting here";
}

TEST(AgentHardwareReport, ASecondAgentLooksAtNothing) {
    SimLaptop laptop;
    laptop.sim.simSession().namesOwnedElsewhere.insert(duolume::AgentBusName);
    BackgroundAgent agent;
    EXPECT_EQ(agent.start(), BackgroundAgent::Start::AnotherAgentRuns);
    EXPECT_EQ(lineWith(laptop.sim.logLines, "Display "), -1);
    EXPECT_EQ(std::count(laptop.sim.calls.begin(), laptop.sim.calls.end(), "surveyHardware(12)"),
              0);
}

}  // namespace
