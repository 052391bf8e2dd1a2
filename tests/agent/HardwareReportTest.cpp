// The agent's report at start of what it found to work with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "agent/BackgroundAgent.h"
#include "report/MachineReport.h"
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
    laptop.sim.simAVServices().plugInDisplay();  // an ordinary monitor on DDC/CI
    laptop.sim.simAVServices().plugInDisplay("APP", 0x9226, "LED Cinema");
    laptop.sim.simDisplays().routes[1].name = "the desktop's org.example.Brightness";
    laptop.sim.simDisplays().route = {1, platform::BuiltinBrightnessWhy::DesktopServiceAnswers};
    BackgroundAgent agent;
    ASSERT_EQ(agent.start(), BackgroundAgent::Start::Running);
    const auto& log = laptop.sim.logLines;

    const int started = lineWith(log, "Duolume agent started");
    EXPECT_LT(lineWith(log,
                       "Built-in display written through the desktop's org.example.Brightness, "
                       "because the desktop's own brightness service answers"),
              started)
        << ::testing::PrintToString(log);
    EXPECT_LT(lineWith(log, "Monitor \"U2720Q\": not asked yet"), started);
    EXPECT_GE(lineWith(log, "Monitor \"U2720Q\": not asked yet"), 0);
    EXPECT_GE(lineWith(log, "Monitor \"LED Cinema\": an Apple display: never sent DDC/CI"), 0);
    const int panel = lineWith(log, "Built-in display DisplayServices: in use");
    const int monitor = lineWith(
        log,
        "USB monitor 0x9236 sim device 1: in use, brightness in feature report 16, 16 bits, "
        "0 to 65535, 2 bytes");
    const int inUse = lineWith(log, "Light sensor in use: ");
    ASSERT_GE(panel, 0) << ::testing::PrintToString(log);
    ASSERT_GE(monitor, 0);
    ASSERT_GE(inUse, 0);
    EXPECT_LT(panel, started);
    EXPECT_LT(monitor, started);
    EXPECT_LT(inUse, started);
    EXPECT_EQ(lineWith(log, "0x0250"), -1) << "only monitors of the product table are reported";
    // The desktop's setting in the machine's words, and the machine's command.
    const int desktop = lineWith(
        log,
        "The desktop's automatic brightness of the built-in display is on: Duolume leaves the "
        "built-in display to it while it is on, and the monitors still follow the curve. For "
        "Duolume to drive the built-in display, switch it off in the desktop's settings, or "
        "with: switch-off-automatic-brightness");
    EXPECT_GE(desktop, 0) << ::testing::PrintToString(log);
    EXPECT_LT(desktop, started);
    // The light source named is the one the shared sensor reads.
    const bool controller = SimLaptop::controller();
    const std::string why = AmbientLightSensor::forcedBackend()
                                ? "because forced by the build"
                                : "because no AppleLMUController pair (Apple SMC) on this machine";
    EXPECT_NE(log[inUse].find(why), std::string::npos) << log[inUse];
    EXPECT_GE(lineWith(log, controller ? "Light sensor AppleLMUController: in use"
                                       : "Light sensor service client: in use"),
              0);
    EXPECT_EQ(lineWith(log, controller ? "Light sensor service client" : "AppleLMUController:"),
              -1);
}

// The desktop's setting is on: the line sends the person to the window only
// where the window can switch it off, and to the machine's command only where
// this session may.
TEST(AgentHardwareReport, SendsThePersonOnlyWhereTheDesktopsSettingCanBeSwitchedOff) {
    using ::testing::EndsWith;
    SimLaptop laptop;
    auto& session = laptop.sim.simSession();
    auto& command = laptop.sim.simTexts().desktopSetting.commandToSwitchOff;
    session.automaticBrightness = platform::DesktopAutomaticBrightness::On;
    command = "";
    EXPECT_THAT(duolume::startUpReport({}, {}).back(),
                EndsWith("in the desktop's settings, or in Duolume's window"));
    session.automaticBrightnessSwitchable = false;
    command = "switch-off-automatic-brightness";
    EXPECT_THAT(duolume::startUpReport({}, {}).back(),
                EndsWith("switch it off in the desktop's settings"));
}

TEST(AgentHardwareReport, SaysWhyWhatItLookedForCannotBeUsed) {
    SimLaptop laptop;
    testing_support::plugInAppleMonitor(laptop.sim.simHID()).accessFinding =
        platform::FindingReason::PermissionDenied;
    laptop.sim.simHID().plugIn(laptop.sim.simHID().addDevice(0x05ac, 0x1114));  // no brightness
    laptop.sim.simDisplays().canChangeBrightness = false;
    BackgroundAgent agent;
    agent.start();
    const auto& log = laptop.sim.logLines;
    EXPECT_GE(lineWith(log, "USB monitor 0x9226 sim device 1: permission denied"), 0)
        << ::testing::PrintToString(log);
    EXPECT_GE(lineWith(log,
                       "USB monitor 0x1114 sim device 2: this HID interface declares no "
                       "brightness control in a Monitor collection, so it is not used"),
              0);
    EXPECT_GE(lineWith(log,
                       "Built-in display DisplayServices: not writable, and no active local "
                       "session may have it changed"),
              0);
    EXPECT_EQ(lineWith(log, "automatic brightness"), -1) << "no such desktop setting here";
}

}  // namespace
