// The background agent as its own process on a virtual laptop with a private
// session bus: killed and started again as its unit's Restart= policy does,
// and with the session bus going away under it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "linux/LinuxMachine.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsStore.h"
#include "support/AgentProgram.h"
#include "support/ChildProcess.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"
#include "support/Waiting.h"

using namespace testing_support;

namespace {

// A laptop whose panel backlight runs 0 to 1000 and whose light sensor (both
// kinds, so either back-end of the build finds one) reads dark; the curve
// rises from 0.1 at level 0 by 0.08 a level, and sync is on.
class AgentFaults : public ::testing::Test {
  protected:
    AgentFaults() : laptop(root.path()) {
        VirtualLaptop::Connector panel;
        panel.edid = VirtualLaptop::makeEdid("APP", 0xA045, 0);
        laptop.addConnectorBacklight("intel_backlight", laptop.addConnector(panel), 1000, 500);
        setLight(0);

        ScopedEnv config("XDG_CONFIG_HOME", root / "config");
        std::filesystem::create_directories(root / "config");
        platform::linux_machine::LinuxMachine::installNew();
        auto settings = duolume::initialSettings();
        for (int level = 0; level <= 10; ++level) {
            const double point = 0.1 + 0.08 * level;
            settings["internal" + std::to_string(level)] = PlistValue::real(point);
            settings["external" + std::to_string(level)] = PlistValue::real(point);
        }
        settings["enabled"] = PlistValue::boolean(true);
        duolume::writeInitialSettings(settings);
    }

    void setLight(int lux) {
        const std::string iio = root / "sys/bus/iio/devices/iio:device0";
        const std::string smc = root / "sys/devices/platform/applesmc.768";
        std::filesystem::create_directories(iio);
        std::filesystem::create_directories(smc);
        writeFile(iio + "/in_illuminance_input", std::to_string(lux) + "\n");
        const std::string smcValue = std::to_string(std::min(lux, 255));  // 8 bits at most
        writeFile(smc + "/light", "(" + smcValue + "," + smcValue + ")\n");
    }

    std::unique_ptr<ChildProcess> startAgent() {
        return testing_support::startAgent(
            {{"PLATFORM_SYSROOT", root.path()},
             {"XDG_CONFIG_HOME", root / "config"},
             {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + root / "no-system-bus"},
             {"PLATFORM_LOG_STDERR", "1"}});
    }

    // The agent may be half-way through rewriting the file: -1 then.
    long panel() const {
        const std::string text = readFile(laptop.backlightFile("intel_backlight", "brightness"));
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        return end == text.c_str() ? -1 : value;
    }

    TempDir root;
    PrivateBus bus{PrivateBus::Kind::Session};
    VirtualLaptop laptop;
};

}  // namespace

TEST_F(AgentFaults, AKilledAgentIsReplacedByTheNextOneWhichAppliesTheCurveAgain) {
    auto first = startAgent();
    ASSERT_TRUE(waitFor([&] { return panel() == 100; })) << first->standardError();

    // While it runs, another agent leaves at once, and successfully: a unit
    // restarting on failure does not start it again and again.
    auto second = startAgent();
    EXPECT_EQ(second->wait(10.0), 0) << second->standardError();
    EXPECT_NE(second->standardError().find("Another Duolume agent already runs"), std::string::npos)
        << second->standardError();

    // Killed without warning (the service manager then starts it again, as
    // its unit says Restart=on-failure): the bus name is free at once and the
    // new agent puts the panel back on the curve.
    laptop.setBacklightValue("intel_backlight", 900);
    first->signal(SIGKILL);
    EXPECT_EQ(first->wait(5.0), -1);
    auto restarted = startAgent();
    ASSERT_TRUE(waitFor([&] { return panel() == 100; })) << restarted->standardError();
    EXPECT_TRUE(restarted->running()) << restarted->standardError();
    EXPECT_EQ(restarted->standardError().find("Another Duolume agent"), std::string::npos);

    restarted->signal(SIGTERM);
    EXPECT_EQ(restarted->wait(5.0), 0);
}

TEST_F(AgentFaults, KeepsFollowingTheLightWhenTheSessionBusGoesAway) {
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return panel() == 100; })) << agent->standardError();

    bus.stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(agent->running()) << agent->standardError();

    setLight(100000);  // daylight: the panel fades up along the curve
    ASSERT_TRUE(waitFor([&] { return panel() > 300; })) << agent->standardError();
    EXPECT_TRUE(agent->running()) << agent->standardError();

    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(5.0), 0) << agent->standardError();
}
