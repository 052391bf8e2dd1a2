// DisplayServices on Linux through the desktops' own brightness services,
// each played by our fake of it on a private session bus: which one drives
// the built-in panel, what each is sent, what a person's change reported by
// the desktop becomes, and the backlight file whenever none takes a value.
#include <errno.h>
#include <gio/gio.h>

#include <chrono>
#include <cmath>
#include <memory>

#include "DesktopFixture.h"

using namespace testing_support;
using platform::BuiltinBrightnessWay;
using Kind = DesktopService::Kind;

namespace {

constexpr long kMax = DesktopTest::kMax;

class DesktopRoutes : public DesktopTest {
  protected:
    bool panelShows(long raw) {
        return runUntil([&] { return laptop.backlightValue("intel_backlight") == raw; });
    }

    // The calls of `method`, once there are `count` of them.
    std::vector<DesktopService::Call> callsOnce(const DesktopService& service,
                                                const std::string& method, std::size_t count,
                                                const std::string& path = "") {
        std::vector<DesktopService::Call> calls;
        runUntil([&] { return (calls = service.calls(method, path)).size() >= count; });
        return calls;
    }
};

const char* const kPlasmaPanel = "/org/kde/ScreenBrightness/display1";

}  // namespace

TEST_F(DesktopRoutes, EachDesktopIsSentTheValueInItsOwnTerms) {
    struct Case {
        Kind kind;
        BuiltinBrightnessWay way;
        const char* method;
        const char* path;
        std::vector<double> numbers;  // of the call that the write 0.3 makes
        std::vector<std::string> strings;
        long panel;  // the raw value the desktop puts on the backlight
    };
    const std::vector<Case> cases = {
        {Kind::PlasmaScreenBrightness,
         BuiltinBrightnessWay::PlasmaScreenBrightness,
         "SetBrightnessWithContext",
         kPlasmaPanel,
         {300, 1},
         {program_invocation_short_name},
         300},
        {Kind::PlasmaPowerManagement,
         BuiltinBrightnessWay::PlasmaPowerManagement,
         "setBrightnessSilent",
         "",
         {300},
         {},
         300},
        {Kind::GnomeShell,
         BuiltinBrightnessWay::GnomeShell,
         "SetAutoBrightnessTarget",
         "",
         {static_cast<float>(0.3)},
         {},
         300},
        {Kind::MutterDisplayConfig,
         BuiltinBrightnessWay::MutterDisplayConfig,
         "SetBacklight",
         "",
         {1, 300},
         {"eDP-1"},
         300},
        // 30 % of gnome-settings-daemon's 10..1000.
        {Kind::GnomeSettingsDaemon,
         BuiltinBrightnessWay::GnomeSettingsDaemon,
         "Set",
         "",
         {30},
         {"org.gnome.SettingsDaemon.Power.Screen", "Brightness"},
         307},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        auto service = start(c.kind);
        ASSERT_TRUE(routeBecomes(c.way));
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.3f), 0);
        // The route before took 0.3 too: a new route gets the last value at once.
        auto calls = callsOnce(*service, c.method, 1, c.path);
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().numbers, c.numbers);
        EXPECT_EQ(calls.back().strings, c.strings);
        EXPECT_TRUE(panelShows(c.panel)) << laptop.backlightValue("intel_backlight");
        runUntil([] { return false; }, 0.2);  // a refusal would be known by now
        EXPECT_EQ(platform::builtinBrightnessRoute().way, c.way);
        EXPECT_FALSE(logged(service->busName() + ":")) << machine->lines.back();
        if (c.kind == Kind::PlasmaScreenBrightness) {  // its other display, an external one
            EXPECT_TRUE(service->calls(c.method, "/org/kde/ScreenBrightness/display0").empty());
        }
        service.reset();
        ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    }
}

// A program that may wait (the agent) finds the route when it first asks for
// it, before anything is written: a panel left to the desktop's automatic
// brightness until then is never written behind the desktop's back.
TEST_F(DesktopRoutes, TheRouteIsFoundBeforeTheFirstWriteWhenAProgramAsksForIt) {
    auto plasma = start(Kind::PlasmaScreenBrightness);
    EXPECT_TRUE(runUntil([] {
        return platform::builtinBrightnessRoute().way ==
               BuiltinBrightnessWay::PlasmaScreenBrightness;
    }));
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.4f), 0);
    EXPECT_EQ(callsOnce(*plasma, "SetBrightnessWithContext", 1, kPlasmaPanel)[0].numbers[0], 400);
}

// All five at once: the first in order drives the panel, and as each goes,
// the next takes over with the last value written; without any, the file.
TEST_F(DesktopRoutes, TheFirstDesktopServiceInOrderDrivesThePanelAndTheNextTakesOver) {
    auto gsd = start(Kind::GnomeSettingsDaemon);
    auto mutter = start(Kind::MutterDisplayConfig);
    auto shell = start(Kind::GnomeShell);
    auto legacy = start(Kind::PlasmaPowerManagement);
    auto plasma = start(Kind::PlasmaScreenBrightness);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::PlasmaScreenBrightness));
    // Plasma's automatic brightness cannot be read without its display.
    EXPECT_EQ(platform::desktopAutomaticBrightness(),
              platform::DesktopAutomaticBrightness::CannotBeRead);
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.4f), 0);
    EXPECT_EQ(callsOnce(*plasma, "SetBrightnessWithContext", 1, kPlasmaPanel)[0].numbers[0], 400);

    plasma.reset();
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::PlasmaPowerManagement));
    EXPECT_EQ(callsOnce(*legacy, "setBrightnessSilent", 1)[0].numbers, std::vector<double>{400});
    legacy.reset();
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeShell));
    EXPECT_NEAR(callsOnce(*shell, "SetAutoBrightnessTarget", 1)[0].numbers[0], 0.4, 1e-6);
    shell.reset();
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::MutterDisplayConfig));
    EXPECT_EQ(callsOnce(*mutter, "SetBacklight", 1)[0].numbers[1], 400);
    mutter.reset();
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeSettingsDaemon));
    EXPECT_EQ(callsOnce(*gsd, "Set", 1)[0].numbers[0], 40);
    EXPECT_NE(platform::desktopAutomaticBrightness(),
              platform::DesktopAutomaticBrightness::CannotBeRead);
    gsd.reset();
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    EXPECT_EQ(platform::builtinBrightnessRoute().why,
              platform::BuiltinBrightnessWhy::NoDesktopService);
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.6f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 600);  // at once, as without a desktop
}

TEST_F(DesktopRoutes, APersonsChangeTheDesktopReportsReachesTheChangeNotification) {
    auto plasma = start(Kind::PlasmaScreenBrightness);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::PlasmaScreenBrightness));
    std::vector<double> heard;
    ASSERT_EQ(DisplayServicesRegisterForBrightnessChangeNotifications(
                  panel, panel,
                  [&](CGDirectDisplayID observer, CFDictionaryRef info) {
                      EXPECT_EQ(observer, panel);
                      const PlistValue* value = nullptr;
                      ASSERT_TRUE(CFDictionaryGetValueIfPresent(
                          info, kDisplayServicesBrightnessValueKey, &value));
                      heard.push_back(value->doubleValue().value_or(-1.0));
                  }),
              0);
    auto report = [&](const char* display, int value, const char* source, const char* context) {
        ASSERT_TRUE(plasma->call("org.freedesktop.DBus.Mock", "EmitSignal",
                                 g_variant_new_parsed("('org.kde.ScreenBrightness', "
                                                      "'BrightnessChanged', 'siss', [<%s>, <%i>, "
                                                      "<%s>, <%s>])",
                                                      display, value, source, context)));
    };
    // Our own write comes back as a change from our bus name: not a person's.
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.2f), 0);
    callsOnce(*plasma, "SetBrightnessWithContext", 1, kPlasmaPanel);
    report("display1", 300, "(internal)", "dimming");             // idle dimming
    report("display1", 300, "(internal)", "profile_brightness");  // a power profile
    report("display1", 300, "", "");                              // only observed
    report("display0", 300, "(internal)", "brightness_key");      // the other display
    report("display1", 700, "(internal)", "brightness_key");      // the keys
    report("display1", 650, ":1.99", "applet");                   // the slider
    ASSERT_TRUE(runUntil([&] { return heard.size() >= 2; }));
    runUntil([] { return false; }, 0.3);  // anything else would have come by now
    EXPECT_EQ(heard, (std::vector<double>{0.7, 0.65}));

    // GNOME's shell says only that the person moved its slider: the panel tells how far.
    plasma.reset();
    auto shell = start(Kind::GnomeShell, {{"slider", "0.5"}});
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeShell));
    callsOnce(*shell, "SetAutoBrightnessTarget", 1);  // the last value, 0.2, as its target
    ASSERT_TRUE(shell->call("org.freedesktop.DBus.Mock", "MoveSlider", g_variant_new("(d)", 0.8)));
    ASSERT_TRUE(runUntil([&] { return heard.size() == 3; }));
    EXPECT_NEAR(heard.back(), 0.5, 0.002);  // the target 0.2 with the slider's bias of +0.3

    ASSERT_EQ(DisplayServicesUnregisterForBrightnessChangeNotifications(panel, panel), 0);
    ASSERT_TRUE(shell->call("org.freedesktop.DBus.Mock", "MoveSlider", g_variant_new("(d)", 0.6)));
    runUntil([] { return false; }, 0.3);
    EXPECT_EQ(heard.size(), 3u);
}

// The shell takes a target that it biases by the person's slider: a read
// gives the target back (a fade starts from it), a restarted shell gets it
// again, and the display is handed back when this process stops driving it.
TEST_F(DesktopRoutes, TheShellsTargetIsReadBackSetAgainOnRestartAndGivenBackAtTheEnd) {
    auto shell = start(Kind::GnomeShell, {{"slider", "0.7"}});
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeShell));
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.3f), 0);
    ASSERT_TRUE(panelShows(500));  // 0.3 + 0.7 - 0.5
    float read = 0;
    ASSERT_EQ(DisplayServicesGetBrightness(panel, &read), 0);
    EXPECT_FLOAT_EQ(read, 0.3f);

    shell->stop();
    shell->start();
    auto calls = callsOnce(*shell, "SetAutoBrightnessTarget", 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NEAR(calls[0].numbers[0], 0.3, 1e-6);

    LoggingLinuxMachine::installNew();  // the old machine, and its DisplayServices, end
    calls = shell->calls("SetAutoBrightnessTarget");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_LT(calls[1].numbers[0], 0.0);
}

// A hung service: the write is handed over at once, misses its answer, and
// is written directly; the service, restarted, gets the last value back.
TEST_F(DesktopRoutes, AValueTheServiceMissesIsWrittenDirectlyAndTheServiceGetsTheLastOneBack) {
    auto plasma = start(Kind::PlasmaScreenBrightness);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::PlasmaScreenBrightness));
    plasma->freeze(true);
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.25f), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
    EXPECT_TRUE(panelShows(250));
    EXPECT_EQ(
        platform::builtinBrightnessRoute(),
        (platform::BuiltinBrightnessRoute{BuiltinBrightnessWay::BacklightFile,
                                          platform::BuiltinBrightnessWhy::DesktopServiceFailed}));
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.35f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 350);

    plasma->stop();
    plasma->start();
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::PlasmaScreenBrightness));
    EXPECT_EQ(callsOnce(*plasma, "SetBrightnessWithContext", 1, kPlasmaPanel)[0].numbers[0], 350);
}

// Mutter refuses a serial the monitors' change has made stale: the serial
// is read again and the write made once more.
TEST_F(DesktopRoutes, MutterRefusingAStaleSerialIsAskedAgainWithTheNewOne) {
    auto mutter = start(Kind::MutterDisplayConfig);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::MutterDisplayConfig));
    ASSERT_TRUE(
        mutter->call("org.freedesktop.DBus.Mock", "ChangeMonitors", g_variant_new("(b)", FALSE)));
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.7f), 0);
    auto calls = callsOnce(*mutter, "SetBacklight", 2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].numbers, (std::vector<double>{1, 700}));
    EXPECT_EQ(calls[1].numbers, (std::vector<double>{2, 700}));
    EXPECT_TRUE(panelShows(700));
    EXPECT_EQ(platform::builtinBrightnessRoute().way, BuiltinBrightnessWay::MutterDisplayConfig);
    EXPECT_FALSE(logged(mutter->busName() + ":"));  // not refused in the end
}

// gnome-settings-daemon says -1 while the panel is off: not used then.
TEST_F(DesktopRoutes, GnomeSettingsDaemonIsLeftAloneWhileThePanelIsOff) {
    auto gsd = start(Kind::GnomeSettingsDaemon);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeSettingsDaemon));
    ASSERT_TRUE(gsd->call("org.freedesktop.DBus.Mock", "SwitchPanel", g_variant_new("(b)", FALSE)));
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    EXPECT_EQ(platform::builtinBrightnessRoute().why,
              platform::BuiltinBrightnessWhy::DesktopServiceUnusable);
    ASSERT_TRUE(gsd->call("org.freedesktop.DBus.Mock", "SwitchPanel", g_variant_new("(b)", TRUE)));
    EXPECT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeSettingsDaemon));
}
