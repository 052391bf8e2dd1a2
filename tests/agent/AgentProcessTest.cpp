// End to end: the agent program on a virtual laptop, driven only through the
// laptop's files, the settings store and a private session bus, where our
// fakes of the desktops' brightness services may serve.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "base/PropertyList.h"
#include "linux/LinuxMachine.h"
#include "linux/light/SunEstimate.h"
#include "settings/SettingsStore.h"
#include "support/AgentProgram.h"
#include "support/ChildProcess.h"
#include "support/DesktopService.h"
#include "support/FakeKdeOutputs.h"
#include "support/FakeLogind.h"
#include "support/FuseHidraw.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"
#include "support/Waiting.h"

using namespace testing_support;

namespace {

constexpr long kBacklightMax = 19200;

class AgentProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string panel = laptop.addBuiltinPanel();
        laptop.addConnectorBacklight("intel_backlight", panel, kBacklightMax, kBacklightMax / 2);
        setLight(3.0);
        platform::linux_machine::LinuxMachine::installNew();
        auto settings = duolume::initialSettings();
        settings["enabled"] = PlistValue::integer(1);
        duolume::writeInitialSettings(settings);
    }
    // Sensor values that give `level` on either back-end.
    void setLight(double level) {
        laptop.setAmbientLight(VirtualLaptop::smcLightForLevel(level), std::exp(level) - 1.0);
    }
    // NaN while the agent is halfway through rewriting the file.
    double backlight() const {
        std::string text = readFile(laptop.backlightFile("intel_backlight", "brightness"));
        char* end = nullptr;
        long value = std::strtol(text.c_str(), &end, 10);
        return end == text.c_str() ? NAN : static_cast<double>(value) / kBacklightMax;
    }
    bool backlightNear(double target) const { return std::fabs(backlight() - target) < 0.01; }
    // The laptop's external output with one virtual Apple USB monitor
    // (0x9226, FUSE) on hidraw0; null (with the reason) where FUSE does not work.
    std::unique_ptr<FuseHidraw> plugInMonitor(std::string* why) {
        auto fuse = FuseHidraw::mount(laptop.devFolder(), why);
        if (!fuse)
            return nullptr;
        laptop.addExternalOutput();
        fuse->addMonitor("hidraw0", 0x8000);
        laptop.addHidrawDevice(0, 0x9226);
        return fuse;
    }
    std::unique_ptr<ChildProcess> startAgent() { return testing_support::startAgent(environment); }
    // A desktop's brightness service, setting this laptop's backlight.
    std::unique_ptr<DesktopService> desktop(DesktopService::Kind kind,
                                            std::map<std::string, std::string> more = {}) {
        more["backlight"] = laptop.backlightFile("intel_backlight", "brightness");
        more["max"] = std::to_string(kBacklightMax);
        return std::make_unique<DesktopService>(kind, more);
    }

    TempDir dir;
    VirtualLaptop laptop{dir / "laptop"};
    PrivateBus session;
    PrivateBus system{PrivateBus::Kind::System};
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    // A test's compositor only, and none of the machine's GSettings schemas
    // (GNOME's automatic brightness would otherwise read as the machine has it).
    std::map<std::string, std::optional<std::string>> environment = {
        {"PLATFORM_SYSROOT", laptop.root()},
        {"PLATFORM_LOG_STDERR", "1"},
        {"WAYLAND_DISPLAY", dir / "no-wayland-display"},
        {"XDG_DATA_DIRS", dir / "no-data"},
        {"XDG_DATA_HOME", dir / "no-data"}};
};

TEST_F(AgentProcess, KeepsTheBacklightOnTheCurveAsLightAndSettingsChange) {
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.3); })) << "backlight " << backlight() << "\n"
                                                             << agent->standardError();

    setLight(8.0);
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.8); })) << "backlight " << backlight() << "\n"
                                                             << agent->standardError();

    // A curve change from the pane arrives through the change notification.
    duolume::setPrefsForKey(PlistValue::real(0.2), "internal8");
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.2); }, 5.0))
        << "backlight " << backlight() << "\n"
        << agent->standardError();
    // The agent logs the change after its writes: wait for the line too.
    EXPECT_TRUE(
        untilLogged(*agent, "built-in display 20%, USB monitors 80% (settings changed)", 5.0))
        << agent->standardError();

    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0) << agent->standardError();
}

// Sensor noise in steady light: the SMC values wander by a few units every
// second, and the backlight file is not written once.
TEST_F(AgentProcess, SensorNoiseInSteadyLightLeavesTheBacklightAlone) {
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.3); })) << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // any fade is over
    struct stat before {};
    const std::string file = laptop.backlightFile("intel_backlight", "brightness");
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    const int base = VirtualLaptop::smcLightForLevel(3.0);
    for (int i = 0; i < 8; ++i) {
        laptop.setAmbientLight(base + (i % 2), std::exp(3.0) - 1.0 + (i % 2 ? 0.5 : 0.0));
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_NEAR(backlight(), 0.3, 0.01);
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0);
}

// The brightness keys (another program writing the backlight) win: a passing
// cloud leaves the person's value, a change of more than a level ends it.
TEST_F(AgentProcess, KeepsWhatAPersonSetUntilTheLightMovesALevel) {
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.3); })) << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    writeFile(laptop.backlightFile("intel_backlight", "brightness"),
              std::to_string(kBacklightMax * 8 / 10) + "\n");

    setLight(3.4);
    ASSERT_TRUE(untilLogged(*agent, "Built-in display: held at 80 %")) << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(backlightNear(0.8)) << backlight() << "\n" << agent->standardError();

    setLight(5.2);
    EXPECT_TRUE(waitFor([&] { return backlightNear(0.52); })) << backlight() << "\n"
                                                              << agent->standardError();
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0);
}

// Fast user switching: while another user's session is at the screen, this
// user's agent writes to no display and holds no monitor's device open.
TEST_F(AgentProcess, LeavesTheDisplaysAloneWhileAnotherUserIsAtTheScreen) {
    std::string why;
    auto fuse = plugInMonitor(&why);
    if (!fuse)
        GTEST_SKIP() << "the virtual USB monitor needs FUSE: " << why;
    FakeLogind logind(laptop.root() + "/sys/class/backlight");
    auto monitorNear = [&](double target) {
        return std::fabs(fuse->brightness("hidraw0") / 65535.0 - target) < 0.01;
    };
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.3) && monitorNear(0.3); }))
        << agent->standardError();

    logind.setActive(false);
    EXPECT_TRUE(untilLogged(*agent, "paused: another user is at the screen"))
        << agent->standardError();
    EXPECT_TRUE(waitFor([&] { return fuse->openFiles("hidraw0") == 0; }))
        << fuse->openFiles("hidraw0") << " files open\n"
        << agent->standardError();
    const auto monitorWrites = fuse->writes("hidraw0").size();
    struct stat before {};
    const std::string file = laptop.backlightFile("intel_backlight", "brightness");
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    setLight(8.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << agent->standardError();
    EXPECT_EQ(fuse->writes("hidraw0").size(), monitorWrites);
    EXPECT_EQ(fuse->openFiles("hidraw0"), 0);

    logind.setActive(true);
    EXPECT_TRUE(waitFor([&] { return backlightNear(0.8) && monitorNear(0.8); }))
        << agent->standardError();
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0);
}

TEST_F(AgentProcess, ASecondAgentLeavesAtOnceWithStatusZero) {
    auto first = startAgent();
    ASSERT_TRUE(waitFor([&] {
        return first->standardError().find("agent started") != std::string::npos;
    })) << first->standardError();
    std::string err;
    EXPECT_EQ(ChildProcess::run({kAgentProgram}, environment, &err, 10.0), 0);
    EXPECT_NE(err.find("Another Duolume agent already runs"), std::string::npos) << err;
    EXPECT_TRUE(first->running());

    first->signal(SIGINT);
    EXPECT_EQ(first->wait(10.0), 0) << first->standardError();
}

const char* const kPlasmaPanel = "/org/kde/ScreenBrightness/display1";

// The values Plasma's panel was sent, in order, as fractions of its range.
std::vector<double> sentToPlasma(const DesktopService& plasma) {
    std::vector<double> values;
    for (const auto& call : plasma.calls("SetBrightnessWithContext", kPlasmaPanel))
        values.push_back(call.numbers.at(0) / kBacklightMax);
    return values;
}

// The last value sent is near `target` (the light level is read with noise).
bool lastNear(const std::vector<double>& sent, double target) {
    return !sent.empty() && std::fabs(sent.back() - target) < 0.01;
}

#define SKIP_WITHOUT_DESKTOP_FAKES()           \
    do {                                       \
        std::string why_;                      \
        if (!DesktopService::available(&why_)) \
            GTEST_SKIP() << why_;              \
    } while (0)

// Plasma's and GNOME's services all there: the agent drives the panel
// through Plasma's, the first in order, and fades through it at its pace (a
// value per 250 ms, each animated by powerdevil), ending on the target; the
// others are sent nothing.
TEST_F(AgentProcess, DrivesThePanelThroughTheFirstDesktopServiceAndFadesThroughIt) {
    SKIP_WITHOUT_DESKTOP_FAKES();
    auto settingsDaemon = desktop(DesktopService::Kind::GnomeSettingsDaemon);
    auto mutter = desktop(DesktopService::Kind::MutterDisplayConfig, {{"shell", "49.3"}});
    auto plasma = desktop(DesktopService::Kind::PlasmaScreenBrightness);
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return lastNear(sentToPlasma(*plasma), 0.3); }))
        << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // any fade is over
    const std::size_t before = sentToPlasma(*plasma).size();

    const auto begun = std::chrono::steady_clock::now();
    setLight(8.0);
    ASSERT_TRUE(waitFor([&] { return lastNear(sentToPlasma(*plasma), 0.8); }))
        << agent->standardError();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begun;
    const auto sent = sentToPlasma(*plasma);
    const std::vector<double> fade(sent.begin() + before, sent.end());
    EXPECT_GE(fade.size(), 2u);
    EXPECT_LE(fade.size(), static_cast<std::size_t>(took.count() / 0.25) + 2) << took.count();
    EXPECT_TRUE(std::is_sorted(fade.begin(), fade.end()));
    EXPECT_TRUE(waitFor([&] { return backlightNear(0.8); }, 2.0));
    EXPECT_TRUE(mutter->calls("SetBacklight").empty());
    EXPECT_TRUE(settingsDaemon->calls("Set").empty());
    EXPECT_EQ(agent->standardError().find("held at"), std::string::npos) << agent->standardError();
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0) << agent->standardError();
}

// The person's own slider in Plasma: powerdevil reports the change with
// another client's name, and the agent keeps it at once, before any change
// of the light.
TEST_F(AgentProcess, APersonsChangeThatPlasmaReportsIsHeldAtOnce) {
    SKIP_WITHOUT_DESKTOP_FAKES();
    auto plasma = desktop(DesktopService::Kind::PlasmaScreenBrightness);
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.3); })) << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // any fade is over

    ASSERT_TRUE(
        plasma->call("org.kde.ScreenBrightness.Display", "SetBrightnessWithContext",
                     g_variant_new("(ius)", static_cast<gint32>((kBacklightMax - 1) * 7 / 10), 0u,
                                   "brightness-slider"),
                     "/org/kde/ScreenBrightness/display1"));
    EXPECT_TRUE(untilLogged(*agent, "Built-in display: held at 70 %")) << agent->standardError();
    setLight(3.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_TRUE(backlightNear(0.7)) << backlight() << "\n" << agent->standardError();
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0);
}

// Plasma 6.6's automatic brightness, as KWin tells it: the panel is left to
// Plasma while it is on, and back on the curve as soon as the person switches
// it off in System Settings, before any change of the light.
TEST_F(AgentProcess, LeavesThePanelToPlasmasAutomaticBrightnessUntilItIsSwitchedOff) {
    SKIP_WITHOUT_DESKTOP_FAKES();
    auto plasma = desktop(DesktopService::Kind::PlasmaScreenBrightness);
    FakeKdeOutputs kwin({{"eDP-1", true, true}});
    environment["WAYLAND_DISPLAY"] = kwin.socketPath();
    auto agent = startAgent();
    ASSERT_TRUE(untilLogged(*agent, "Plasma's automatic brightness of the built-in display is on"))
        << agent->standardError();
    ASSERT_TRUE(untilLogged(*agent, "Built-in display: left to the desktop's automatic brightness"))
        << agent->standardError();
    const char* const panel = "/org/kde/ScreenBrightness/display1";
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_TRUE(plasma->calls("SetBrightnessWithContext", panel).empty());
    EXPECT_TRUE(backlightNear(0.5)) << backlight();

    kwin.setAutomatic("eDP-1", false);
    EXPECT_TRUE(waitFor([&] { return backlightNear(0.3); })) << agent->standardError();
    // The fade went through Plasma, not behind its back.
    EXPECT_TRUE(untilLogged(*agent, "(the desktop's automatic brightness changed, fading)"))
        << agent->standardError();
    const auto calls = plasma->calls("SetBrightnessWithContext", panel);
    EXPECT_GE(calls.size(), 2u);
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0);
}

// GNOME 43 to 48: gnome-settings-daemon puts each percentage on its own
// minimum and rounding, and the agent takes none of that for a person's
// change: a small light change (under a level) moves the panel too, with no
// hold; a step of GNOME's keys is held at once.
TEST_F(AgentProcess, FollowsTheCurveThroughGnomeSettingsDaemonAndHoldsOnlyItsKeys) {
    SKIP_WITHOUT_DESKTOP_FAKES();
    auto gsd = desktop(DesktopService::Kind::GnomeSettingsDaemon);
    auto agent = startAgent();
    ASSERT_TRUE(untilLogged(*agent, "set through org.gnome.SettingsDaemon.Power"))
        << agent->standardError();
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.3); })) << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // any fade is over
    setLight(3.6);  // 0.36 on the default curve, less than a level away
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.36); })) << agent->standardError();
    setLight(7.0);
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.7); })) << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(agent->standardError().find("held at"), std::string::npos) << agent->standardError();

    ASSERT_TRUE(gsd->call("org.gnome.SettingsDaemon.Power.Screen", "StepUp", nullptr));
    EXPECT_TRUE(untilLogged(*agent, "Built-in display: held at 75 %")) << agent->standardError();
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0) << agent->standardError();
}

// GNOME 49 and later: the agent sets the panel's own backlight through
// mutter, never the shell's automatic brightness target (which would stay
// behind if the agent died, and move HDR monitors too); the person's slider,
// told by the shell from 49.3 on, is held at once.
TEST_F(AgentProcess, DrivesGnomeFortyNinesPanelThroughMutterAndHoldsTheShellsSlider) {
    SKIP_WITHOUT_DESKTOP_FAKES();
    auto mutter = desktop(DesktopService::Kind::MutterDisplayConfig, {{"shell", "49.3"}});
    auto agent = startAgent();
    ASSERT_TRUE(untilLogged(*agent, "set through org.gnome.Mutter.DisplayConfig"))
        << agent->standardError();
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.3); })) << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(mutter->call("org.freedesktop.DBus.Mock", "MoveSlider", g_variant_new("(d)", 0.7)));
    EXPECT_TRUE(untilLogged(*agent, "Built-in display: held at 70 %")) << agent->standardError();
    EXPECT_TRUE(mutter->calls("SetAutoBrightnessTarget", "/org/gnome/Shell/Brightness").empty());
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0) << agent->standardError();
}

// The desktop's service goes away in the middle of a fade (it restarts): the
// fade goes on through the backlight file to its end, and the service, back,
// gets the last value and the next fade.
TEST_F(AgentProcess, AFadeGoesOnWhenTheDesktopServiceGoesAndUsesItAgainWhenItIsBack) {
    SKIP_WITHOUT_DESKTOP_FAKES();
    auto plasma = desktop(DesktopService::Kind::PlasmaScreenBrightness);
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return lastNear(sentToPlasma(*plasma), 0.3); }))
        << agent->standardError();
    const std::size_t before = sentToPlasma(*plasma).size();
    setLight(8.0);
    ASSERT_TRUE(waitFor([&] { return sentToPlasma(*plasma).size() >= before + 2; }, 20.0));
    plasma->stop();
    ASSERT_TRUE(waitFor([&] { return backlightNear(0.8); })) << agent->standardError();
    EXPECT_TRUE(agent->running());

    plasma->start();
    ASSERT_TRUE(waitFor([&] { return lastNear(sentToPlasma(*plasma), 0.8); }))
        << agent->standardError();
    setLight(3.0);
    ASSERT_TRUE(waitFor([&] { return lastNear(sentToPlasma(*plasma), 0.3); }))
        << agent->standardError();
    EXPECT_GT(sentToPlasma(*plasma).size(), before + 2);
    EXPECT_TRUE(waitFor([&] { return backlightNear(0.3); }, 2.0));
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0) << agent->standardError();
}

// --- The light without a sensor, and under a closed lid -------------------

// Berlin's sun on 21 June 2024 (UTC), and the level it gives an ordinary room.
constexpr double kMidsummer = 1718928000.0;  // 00:00 UTC
double berlinLevel(double unixSeconds) {
    using namespace platform::linux_machine;
    return std::min(10.0, lightSteps(estimatedRoomLux({52.5, 13 + 22 / 60.0, 0.02}, unixSeconds)));
}

class AgentLight : public AgentProcess {
  protected:
    void SetUp() override {
        AgentProcess::SetUp();
        laptop.setTimeZone("Europe/Berlin");
    }
    // The last "Light level L:" the agent logged.
    static std::optional<double> loggedLevel(const ChildProcess& agent) {
        const std::string log = agent.standardError();
        const auto at = log.rfind("Light level ");
        if (at == std::string::npos)
            return std::nullopt;
        return std::strtod(log.c_str() + at + 12, nullptr);
    }
    // A daylight clock held at `unixSeconds`.
    void holdClockAt(double unixSeconds) {
        environment["PLATFORM_DAYLIGHT_CLOCK"] = std::to_string(unixSeconds) + ",0.000001";
    }
    void removeSensors() {
        std::filesystem::remove_all(laptop.root() + "/sys/devices/platform/applesmc.768");
        laptop.removeIIOLight(0);
    }
};

// A laptop without a light sensor, at moments through a summer's day in
// Berlin: the level is the sun's estimate and the built-in display follows
// the curve (10 % at level 0 to 90 % at level 10). In a time zone that names
// no place there is no level, and nothing moves.
TEST_F(AgentLight, WithoutASensorTheLevelFollowsTheSunThroughTheDayAndTheDisplayTheCurve) {
    removeSensors();
    auto settings = duolume::initialSettings();
    settings["enabled"] = PlistValue::integer(1);
    for (int level = 0; level <= 10; ++level)
        settings["internal" + std::to_string(level)] = PlistValue::real(0.1 + 0.08 * level);
    duolume::writeInitialSettings(settings);
    double darkest = 1.0, brightest = 0.0;
    for (double hour : {0.0, 2.5, 3.0, 5.0, 11.0, 17.0, 19.6, 23.0}) {
        SCOPED_TRACE(hour);
        const double t = kMidsummer + hour * 3600.0;
        holdClockAt(t);
        auto agent = startAgent();
        ASSERT_TRUE(untilLogged(*agent, "Light level ")) << agent->standardError();
        const auto level = loggedLevel(*agent);
        ASSERT_TRUE(level);
        EXPECT_NEAR(*level, berlinLevel(t), 0.02) << agent->standardError();
        EXPECT_TRUE(waitFor([&] { return backlightNear(0.1 + 0.08 * *level); }))
            << backlight() << "\n"
            << agent->standardError();
        darkest = std::min(darkest, backlight());
        brightest = std::max(brightest, backlight());
        if (hour == 0.0)
            EXPECT_TRUE(untilLogged(*agent, "Light: estimated from the sun at Berlin"));
        agent->signal(SIGTERM);
        EXPECT_EQ(agent->wait(10.0), 0);
    }
    EXPECT_LT(darkest, 0.15);    // the night
    EXPECT_GT(brightest, 0.65);  // noon

    laptop.setTimeZone("Etc/UTC");
    laptop.setBacklightValue("intel_backlight", kBacklightMax / 2);
    auto agent = startAgent();
    EXPECT_TRUE(untilLogged(*agent, "Displays left alone: there is no light level"))
        << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_NEAR(backlight(), 0.5, 1e-9) << agent->standardError();
    EXPECT_EQ(agent->standardError().find("Light level"), std::string::npos);
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0);
}

// A docked Mac in clamshell: its SMC sensor goes dark as the lid comes down
// and logind tells a moment later. The monitor keeps its brightness and
// follows the sun from there; the lid open again, it glides to the sensor's
// light. Every write stays within a fade step of the one before.
TEST_F(AgentLight, ClosingTheLidAtNoonKeepsTheMonitorOnItsCurveAndOpeningItGlidesBack) {
    std::string why;
    auto fuse = plugInMonitor(&why);
    if (!fuse)
        GTEST_SKIP() << "the virtual USB monitor needs FUSE: " << why;
    FakeLogind logind(laptop.root() + "/sys/class/backlight");
    holdClockAt(kMidsummer + 11 * 3600.0);
    setLight(6.0);
    auto monitor = [&] { return fuse->brightness("hidraw0") / 65535.0; };
    auto agent = startAgent();
    ASSERT_TRUE(waitFor([&] { return std::fabs(monitor() - 0.6) < 0.01; }))
        << monitor() << "\n"
        << agent->standardError();
    const std::size_t from = fuse->writes("hidraw0").size();

    setLight(0.0);  // covered
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    logind.setLidClosed(true);
    EXPECT_TRUE(untilLogged(*agent, "The lid is closed and covers the light sensor"))
        << agent->standardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(7000));  // past any wait for darkness
    EXPECT_NEAR(monitor(), 0.6, 0.01) << agent->standardError();

    setLight(4.0);  // the room the lid opens onto
    logind.setLidClosed(false);
    EXPECT_TRUE(untilLogged(*agent, "The lid is open")) << agent->standardError();
    EXPECT_TRUE(waitFor([&] { return std::fabs(monitor() - 0.4) < 0.01; }, 40.0))
        << monitor() << "\n"
        << agent->standardError();

    const auto writes = fuse->writes("hidraw0");
    double lowest = 1.0, largestStep = 0.0;
    for (std::size_t i = from; i < writes.size(); ++i) {
        lowest = std::min(lowest, writes[i] / 65535.0);
        if (i > from)
            largestStep = std::max(largestStep, std::fabs(writes[i] - writes[i - 1]) / 65535.0);
    }
    std::printf("lid closed and opened: %zu monitor writes, lowest %.3f, largest step %.4f\n",
                writes.size() - from, lowest, largestStep);
    EXPECT_GE(lowest, 0.39);  // never the curve's darkest point (0.0 at level 0)
    // A glide of 0.2 levels a second is a 2 % fade a second at most: 0.02 %
    // a fade step, where a jump of two levels would be 20 % at once.
    EXPECT_LT(largestStep, 0.002);
    agent->signal(SIGTERM);
    EXPECT_EQ(agent->wait(10.0), 0);
}

}  // namespace
