// The agent, as its own process, against the real gnome-settings-daemon power
// plug-in (RealGsdPower.h): gsd's route is chosen, the panel and gsd's
// Brightness follow the curve without a hold through small and large light
// changes, the backlight file is never written by the agent while gsd
// answers, a change made through gsd is held at once, and with gsd gone the
// agent keeps the curve by itself and uses gsd again when it is back.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <thread>

#include "base/PropertyList.h"
#include "real_parts/RealGsdPower.h"
#include "settings/SettingsStore.h"
#include "support/AgentProgram.h"
#include "support/ChildProcess.h"
#include "support/LoggingLinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

using namespace testing_support;

namespace {

constexpr long kMax = 1000;

// gnome-settings-daemon's raw value for a percentage of 10..1000
// (gpm-common.c, gsd_power_backlight_percentage_to_abs).
long gsdRaw(int percent) {
    return 10 + (percent * 990 + 50) / 100;
}

class RealGnomeSettingsDaemon : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string why = RealGsdPower::whyNotRunnable();
        if (!why.empty())
            GTEST_SKIP() << why;
        if (::access("/usr/bin/strace", X_OK) != 0)
            GTEST_SKIP() << "strace is not installed";
        std::string failed;
        ASSERT_TRUE(gsd.start(&failed)) << failed;
        setLevel(3.0);
        LoggingLinuxMachine::installNew();
        auto settings = duolume::initialSettings();
        settings["enabled"] = PlistValue::integer(1);
        duolume::writeInitialSettings(settings);
    }
    void setLevel(double level) { gsd.setLux(std::exp(level) - 1.0); }
    // The agent under strace, which writes down every pwrite of its threads.
    std::unique_ptr<ChildProcess> startAgent() {
        return testing_support::startAgent(
            {{"PLATFORM_SYSROOT", gsd.root()},
             {"PLATFORM_LOG_STDERR", "1"},
             {"GSETTINGS_BACKEND", "memory"},
             {"WAYLAND_DISPLAY", dir / "no-wayland-display"},
             // LeakSanitizer cannot look under ptrace (the sanitizer build).
             {"ASAN_OPTIONS", asanOptions()}},
            {"/usr/bin/strace", "-f", "-qq", "-e", "trace=pwrite64", "-o", trace});
    }
    static std::string asanOptions() {
        const char* given = std::getenv("ASAN_OPTIONS");
        return std::string(given ? given : "") + (given && *given ? ":" : "") + "detect_leaks=0";
    }
    // The agent itself, strace's child: it gets the signals strace would not pass on.
    static pid_t agentOf(const ChildProcess& tracer) {
        const std::string children = readFile("/proc/" + std::to_string(tracer.pid()) + "/task/" +
                                              std::to_string(tracer.pid()) + "/children");
        return static_cast<pid_t>(std::atoi(children.c_str()));
    }
    // The agent's writes of a backlight value (a number and a line end).
    int backlightWrites() const {
        static const std::regex write(R"(pwrite64\(\d+, "\d+\\n", \d+, 0\))");
        const std::string text = readFile(trace);
        return static_cast<int>(
            std::distance(std::sregex_iterator(text.begin(), text.end(), write), {}));
    }
    bool onTheCurve(int percent) {
        return waitFor(
            [&] { return gsd.backlight() == gsdRaw(percent) && gsd.brightness() == percent; },
            15.0);
    }
    static int count(const std::string& text, const std::string& part) {
        int n = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    TempDir dir;
    std::string trace = dir / "agent.strace";
    PrivateBus session;
    PrivateBus system{PrivateBus::Kind::System};
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    RealGsdPower gsd{kMax, kMax / 2};
};

}  // namespace

TEST_F(RealGnomeSettingsDaemon, TheAgentFollowsTheCurveThroughGsdPowerAndNeverBehindIt) {
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] {
        return agent->standardError().find(
                   "brightness is set through org.gnome.SettingsDaemon.Power") != std::string::npos;
    })) << agent->standardError();
    ASSERT_TRUE(onTheCurve(30)) << gsd.backlight() << "\n" << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the fade is over
    setLevel(3.6);  // less than a level: the curve's 36 %
    EXPECT_TRUE(onTheCurve(36)) << gsd.backlight() << "\n" << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    setLevel(7.0);
    EXPECT_TRUE(onTheCurve(70)) << gsd.backlight() << "\n" << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(agent->standardError().find("held at"), std::string::npos) << agent->standardError();
    EXPECT_EQ(backlightWrites(), 0) << readFile(trace);

    // GNOME's brightness keys, through gsd: held at once.
    ASSERT_TRUE(gsd.stepUp());
    EXPECT_TRUE(waitFor([&] {
        return agent->standardError().find("Built-in display: held at") != std::string::npos;
    })) << agent->standardError();

    // gsd gone: the agent keeps the curve itself (a level away ends the hold).
    gsd.stopPlugin();
    setLevel(8.6);
    EXPECT_TRUE(waitFor([&] { return std::labs(gsd.backlight() - 860) <= 1; }))
        << gsd.backlight() << "\n"
        << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the fade is over
    const int direct = backlightWrites();
    EXPECT_GT(direct, 0);

    // Back: used again, with the last value, and for the next change.
    std::string failed;
    ASSERT_TRUE(gsd.startPlugin(&failed)) << failed;
    EXPECT_TRUE(waitFor([&] {
        return count(agent->standardError(),
                     "brightness is set through org.gnome.SettingsDaemon.Power") == 2;
    })) << agent->standardError();
    EXPECT_TRUE(onTheCurve(86)) << gsd.backlight();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    setLevel(3.0);
    EXPECT_TRUE(onTheCurve(30)) << gsd.backlight() << "\n" << agent->standardError();
    EXPECT_EQ(backlightWrites(), direct);
    EXPECT_EQ(count(agent->standardError(), "held at"), 1) << agent->standardError();
    ASSERT_GT(agentOf(*agent), 0);
    ::kill(agentOf(*agent), SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0) << agent->standardError();
}
