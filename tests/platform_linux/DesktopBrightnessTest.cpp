// DisplayServices on Linux through the desktops' own brightness services,
// each played by a fake written from its sources on a private session bus:
// which one drives the built-in panel, what each is sent and where that lands,
// what a change the desktop announces becomes, and the backlight file
// whenever none takes a value.
#include <errno.h>
#include <gio/gio.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>

#include "CoreFoundation/CFDictionary.h"
#include "DesktopFixture.h"
#include "support/FuseSysfsAttribute.h"

using namespace testing_support;
using platform::BuiltinBrightnessWay;
using Kind = DesktopService::Kind;

namespace {

class DesktopRoutes : public DesktopTest {
  protected:
    bool panelShows(long raw) {
        return runUntil([&] { return laptop.backlightValue("intel_backlight") == raw; });
    }
    long panelValue() { return laptop.backlightValue("intel_backlight"); }
    float read() {
        float value = -1;
        EXPECT_EQ(DisplayServicesGetBrightness(panel, &value), 0);
        return value;
    }

    // The calls of `method`, once there are `count` of them.
    std::vector<DesktopService::Call> callsOnce(const DesktopService& service,
                                                const std::string& method, std::size_t count,
                                                const std::string& path = "") {
        std::vector<DesktopService::Call> calls;
        runUntil([&] { return (calls = service.calls(method, path)).size() >= count; });
        return calls;
    }

    // What the change notification hears, in order.
    void listen() {
        ASSERT_EQ(DisplayServicesRegisterForBrightnessChangeNotifications(
                      panel, panel,
                      [this](CGDirectDisplayID, CFDictionaryRef info) {
                          const PlistValue* value = nullptr;
                          ASSERT_TRUE(CFDictionaryGetValueIfPresent(
                              info, kDisplayServicesBrightnessValueKey, &value));
                          heard.push_back(value->doubleValue().value_or(-1.0));
                      }),
                  0);
    }
    std::vector<double> heard;
};

const char* const kPlasmaPanel = "/org/kde/ScreenBrightness/display1";
const char* const kMock = "org.freedesktop.DBus.Mock";

// A desktop for a table: its fake, how it is set up, the route it gives,
// and the call that carries a value to the panel.
struct Desktop {
    const char* name;
    Kind kind;
    std::map<std::string, std::string> parameters;
    BuiltinBrightnessWay way;
    const char* method;
    const char* path;
};

}  // namespace

// Each desktop maps a value onto the panel in its own way; the panel then
// holds what that desktop makes of it, and reading it back gives the value
// sent, so nothing the desktop did is taken for someone else's change
// (gnome-settings-daemon puts 47 % on 10..1000 at 475, not at 470).
TEST_F(DesktopRoutes, EachDesktopIsSentTheValueInItsOwnTermsAndItReadsBackAsSent) {
    struct Case : Desktop {
        std::vector<double> numbers;  // of the call that the write 0.47 makes
        long lowest, highest;         // where the desktop puts the panel
    };
    const std::vector<Case> cases = {
        // 0..999 for a backlight of 1000 whose 0 is left out.
        {{"Plasma 6, backlight",
          Kind::PlasmaScreenBrightness,
          {},
          BuiltinBrightnessWay::PlasmaScreenBrightness,
          "SetBrightnessWithContext",
          kPlasmaPanel},
         {470, 1},
         471,
         471},
        {{"Plasma 6, KWin's panel",
          Kind::PlasmaScreenBrightness,
          {{"kwin_panel", "true"}},
          BuiltinBrightnessWay::PlasmaScreenBrightness,
          "SetBrightnessWithContext",
          kPlasmaPanel},
         {4700, 1},
         471,
         471},
        {{"Plasma 5.27",
          Kind::PlasmaPowerManagement,
          {},
          BuiltinBrightnessWay::PlasmaPowerManagement,
          "setBrightnessSilent",
          ""},
         {470},
         470,
         470},
        {{"GNOME 49, mutter",
          Kind::MutterDisplayConfig,
          {},
          BuiltinBrightnessWay::MutterDisplayConfig,
          "SetBacklight",
          ""},
         {1, 470},
         470,
         470},
        // The shell writes the backlight back through its slider, truncated.
        {{"GNOME 49.3, mutter and the shell",
          Kind::MutterDisplayConfig,
          {{"shell", "49.3"}},
          BuiltinBrightnessWay::MutterDisplayConfig,
          "SetBacklight",
          ""},
         {1, 470},
         469,
         470},
        {{"GNOME 43 to 48, gnome-settings-daemon",
          Kind::GnomeSettingsDaemon,
          {},
          BuiltinBrightnessWay::GnomeSettingsDaemon,
          "Set",
          ""},
         {47},
         475,
         475},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto service = start(c.kind, c.parameters);
        ASSERT_TRUE(routeBecomes(c.way));
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.47f), 0);
        // After the value before, which a new route gets at once.
        std::vector<DesktopService::Call> calls;
        EXPECT_TRUE(runUntil([&] {
            calls = service->calls(c.method, c.path);
            return !calls.empty() && calls.back().numbers == c.numbers;
        })) << (calls.empty() ? 0.0 : calls.back().numbers.back());
        EXPECT_TRUE(runUntil([&] { return panelValue() >= c.lowest && panelValue() <= c.highest; }))
            << panelValue();
        runUntil([] { return false; }, 0.4);  // the desktop's answers and animation are in
        EXPECT_FLOAT_EQ(read(), 0.47f) << "the panel holds " << panelValue();
        EXPECT_EQ(platform::builtinBrightnessRoute().way, c.way);
        EXPECT_FALSE(logged(service->busName() + ":")) << machine.lines.back();
        if (c.kind == Kind::PlasmaScreenBrightness) {  // its other display, an external one
            EXPECT_TRUE(service->calls(c.method, "/org/kde/ScreenBrightness/display0").empty());
        }
        if (c.parameters.count("shell")) {  // the shell's target is never set
            EXPECT_TRUE(
                service->calls("SetAutoBrightnessTarget", "/org/gnome/Shell/Brightness").empty());
        }
        service.reset();
        ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
        // Gone, it leaves the panel where it put it: still what was sent.
        EXPECT_FLOAT_EQ(read(), 0.47f);
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.5f), 0);  // the next starts from the file
    }
}

// All four at once: the first in order drives the panel, and as each goes,
// the next takes over with the last value written; without any, the file.
TEST_F(DesktopRoutes, TheFirstDesktopServiceInOrderDrivesThePanelAndTheNextTakesOver) {
    auto gsd = start(Kind::GnomeSettingsDaemon);
    auto mutter = start(Kind::MutterDisplayConfig);
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
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::MutterDisplayConfig));
    EXPECT_EQ(callsOnce(*mutter, "SetBacklight", 1)[0].numbers[1], 400);
    mutter.reset();
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeSettingsDaemon));
    EXPECT_EQ(callsOnce(*gsd, "Set", 1)[0].numbers[0], 40);
    gsd.reset();
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    EXPECT_EQ(platform::builtinBrightnessRoute().why,
              platform::BuiltinBrightnessWhy::NoDesktopService);
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.6f), 0);
    EXPECT_EQ(panelValue(), 600);  // at once, as without a desktop
}

// A change the desktop announces reaches the change notification at once,
// with the value it announced, and a read gives that value before the
// desktop has moved the backlight; this process's own values coming back,
// the desktop's idle dim, its power profiles and changes it only observed
// are nobody's change.
TEST_F(DesktopRoutes, AChangeTheDesktopAnnouncesIsHeardAtOnceWithItsValue) {
    auto plasma = start(Kind::PlasmaScreenBrightness);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::PlasmaScreenBrightness));
    listen();
    auto report = [&](const char* display, int value, const char* source, const char* context) {
        ASSERT_TRUE(plasma->call(kMock, "EmitSignal",
                                 g_variant_new_parsed("('org.kde.ScreenBrightness', "
                                                      "'BrightnessChanged', 'siss', [<%s>, <%i>, "
                                                      "<%s>, <%s>])",
                                                      display, value, source, context)));
    };
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.2f), 0);
    callsOnce(*plasma, "SetBrightnessWithContext", 1, kPlasmaPanel);
    report("display1", 300, "(internal)", "dimming");             // idle dimming
    report("display1", 300, "(internal)", "profile_brightness");  // a power profile
    report("display1", 300, "", "");                              // only observed
    report("display0", 300, "(internal)", "brightness_key");      // the other display
    report("display1", 699, "(internal)", "brightness_key");      // the keys
    ASSERT_TRUE(runUntil([&] { return !heard.empty(); }));
    EXPECT_FLOAT_EQ(read(), 699.0f / 999.0f);    // powerdevil's word, not the file
    report("display1", 649, ":1.99", "applet");  // the slider
    ASSERT_TRUE(runUntil([&] { return heard.size() >= 2; }));
    runUntil([] { return false; }, 0.3);  // anything else would have come by now
    EXPECT_EQ(heard, (std::vector<double>{699.0 / 999.0, 649.0 / 999.0}));

    // gnome-settings-daemon announces every change, ours too, without saying
    // whose: the percentage tells.
    plasma.reset();
    auto gsd = start(Kind::GnomeSettingsDaemon);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeSettingsDaemon));
    callsOnce(*gsd, "Set", 1);  // the last value, 20 %, again
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.33f), 0);
    callsOnce(*gsd, "Set", 2);
    runUntil([] { return false; }, 0.3);
    EXPECT_EQ(heard.size(), 2u);
    ASSERT_TRUE(gsd->call("org.gnome.SettingsDaemon.Power.Screen", "StepUp", nullptr));
    ASSERT_TRUE(runUntil([&] { return heard.size() == 3; }));
    // 33 % is 337 of 10..1000; one step up (991 / 20 = 49) is 386, 38 %.
    EXPECT_DOUBLE_EQ(heard.back(), 0.38);
    EXPECT_FLOAT_EQ(read(), 0.38f);

    ASSERT_EQ(DisplayServicesUnregisterForBrightnessChangeNotifications(panel, panel), 0);
    ASSERT_TRUE(gsd->call("org.gnome.SettingsDaemon.Power.Screen", "StepUp", nullptr));
    runUntil([] { return false; }, 0.3);
    EXPECT_EQ(heard.size(), 3u);
}

// GNOME 49: the shell writes the backlight back through its slider, one raw
// step lower at times, and mutter does not announce it; the person's slider
// is told by the shell from 49.3 on, and found in the backlight before.
TEST_F(DesktopRoutes, GnomeShellsSliderIsTheOnlyChangeOnMuttersRoute) {
    for (const char* release : {"49.0", "49.3"}) {
        SCOPED_TRACE(release);
        auto mutter = start(Kind::MutterDisplayConfig, {{"shell", release}});
        ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::MutterDisplayConfig));
        heard.clear();
        listen();
        for (float value : {0.29f, 0.47f, 0.61f})
            ASSERT_EQ(DisplayServicesSetBrightness(panel, value), 0);
        callsOnce(*mutter, "SetBacklight", 3);
        runUntil([] { return false; }, 0.3);
        EXPECT_FLOAT_EQ(read(), 0.61f);
        EXPECT_TRUE(heard.empty());

        ASSERT_TRUE(mutter->call(kMock, "MoveSlider", g_variant_new("(d)", 0.8)));
        ASSERT_TRUE(panelShows(802));  // 10 + 990 × 0.8
        if (std::string(release) == "49.3") {
            ASSERT_TRUE(runUntil([&] { return !heard.empty(); }));
            EXPECT_NEAR(heard.back(), 0.802, 1e-6);
        }
        EXPECT_FLOAT_EQ(read(), 0.802f);  // not the value sent: someone else's
        ASSERT_EQ(DisplayServicesUnregisterForBrightnessChangeNotifications(panel, panel), 0);
        mutter.reset();
        ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    }
}

// The desktop's idle dim is no one's change, and values handed while it
// lasts wait for its end, so the panel is not lit up behind the person's
// back: Plasma 5.27 and 6.2 dim to 30 % of the brightness and say so only by
// that value; 6.3 dims the hardware alone and takes values as they come.
TEST_F(DesktopRoutes, PlasmasIdleDimIsNoOnesChangeAndValuesWaitForItsEnd) {
    struct Case : Desktop {
        bool waits;
    };
    const std::vector<Case> cases = {
        {{"Plasma 5.27",
          Kind::PlasmaPowerManagement,
          {},
          BuiltinBrightnessWay::PlasmaPowerManagement,
          "setBrightnessSilent",
          ""},
         true},
        {{"Plasma 6.2",
          Kind::PlasmaScreenBrightness,
          {{"release", "6.2"}},
          BuiltinBrightnessWay::PlasmaScreenBrightness,
          "SetBrightnessWithContext",
          kPlasmaPanel},
         true},
        {{"Plasma 6.3",
          Kind::PlasmaScreenBrightness,
          {{"release", "6.3"}},
          BuiltinBrightnessWay::PlasmaScreenBrightness,
          "SetBrightnessWithContext",
          kPlasmaPanel},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto service = start(c.kind, c.parameters);
        ASSERT_TRUE(routeBecomes(c.way));
        heard.clear();
        listen();
        runUntil([] { return false; }, 0.4);  // the value before, which a new route gets
        const std::size_t before = service->calls(c.method, c.path).size();
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.6f), 0);
        callsOnce(*service, c.method, before + 1, c.path);
        runUntil([] { return false; }, 0.4);
        ASSERT_TRUE(service->call(kMock, "DimIdle", nullptr));
        runUntil([] { return false; }, 0.5);
        EXPECT_LT(panelValue(), 300);  // dimmed
        EXPECT_FLOAT_EQ(read(), 0.6f);
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.7f), 0);  // the light changed meanwhile
        runUntil([] { return false; }, 0.4);
        EXPECT_EQ(service->calls(c.method, c.path).size(), before + (c.waits ? 1 : 2));
        EXPECT_LT(panelValue(), 300);  // still dimmed
        ASSERT_TRUE(service->call(kMock, "Wake", nullptr));
        auto calls = callsOnce(*service, c.method, before + 2, c.path);
        ASSERT_EQ(calls.size(), before + 2);
        EXPECT_EQ(calls.back().numbers[0], c.kind == Kind::PlasmaPowerManagement ? 700 : 699);
        EXPECT_TRUE(runUntil([&] { return panelValue() == 700; }));
        runUntil([] { return false; }, 0.3);
        EXPECT_TRUE(heard.empty());
        ASSERT_EQ(DisplayServicesUnregisterForBrightnessChangeNotifications(panel, panel), 0);
        service.reset();
        ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    }
}

// Each route takes values at its own pace: a fade of 100 steps handed in a
// second reaches powerdevil 5.27, whose every value is a helper job with a
// 250 ms animation, as a handful, the last one exactly the fade's end.
TEST_F(DesktopRoutes, AFadeThroughPowerdevilSendsNoMoreThanItsPaceAndEndsOnTheTarget) {
    auto legacy = start(Kind::PlasmaPowerManagement);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::PlasmaPowerManagement));
    const auto begun = std::chrono::steady_clock::now();
    for (int step = 1; step <= 100; ++step) {
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.5f + 0.3f * step / 100), 0);
        runUntil([] { return false; }, 0.01);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begun;
    ASSERT_TRUE(panelShows(800));
    runUntil([] { return false; }, 0.5);
    auto calls = legacy->calls("setBrightnessSilent");
    ASSERT_FALSE(calls.empty());
    // One per 250 ms of the fade, however long it took here, and the end.
    EXPECT_LE(calls.size(), static_cast<std::size_t>(took.count() / 0.25) + 2) << took.count();
    EXPECT_EQ(calls.back().numbers, std::vector<double>{800});
}

// The window's thread hands its values on before the route is known; the
// route's thread sends the newest once it is, and the backlight file is
// never written meanwhile.
TEST_F(DesktopRoutes, AWindowsValuesWaitForTheRouteAndAreNeverWrittenBehindIt) {
    machine.setMainThreadNeverWaits(true);
    auto gsd = start(Kind::GnomeSettingsDaemon);
    for (float value : {0.1f, 0.2f, 0.3f}) {
        ASSERT_EQ(DisplayServicesSetBrightness(panel, value), 0);
        EXPECT_EQ(panelValue(), kMax / 2);  // never the file's 100, 200, 300
    }
    auto calls = callsOnce(*gsd, "Set", 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].numbers[0], 30);
    EXPECT_TRUE(panelShows(307));
}

// A service still starting answers "not ready" (gnome-settings-daemon's "No
// session"): it is asked again after a pause, and used from then on.
TEST_F(DesktopRoutes, AServiceThatIsNotReadyYetIsAskedAgain) {
    auto gsd = start(Kind::GnomeSettingsDaemon, {{"ready", "false"}});
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    EXPECT_EQ(platform::builtinBrightnessRoute().why,
              platform::BuiltinBrightnessWhy::DesktopServiceUnusable);
    EXPECT_TRUE(runUntil([&] { return logged("No session"); })) << machine.lines.back();
    ASSERT_TRUE(gsd->call(kMock, "BecomeReady", nullptr));
    EXPECT_TRUE(runUntil(
        [] {
            return platform::builtinBrightnessRoute().way ==
                   BuiltinBrightnessWay::GnomeSettingsDaemon;
        },
        8.0));
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
        (platform::BuiltinBrightnessRoute{platform::wayNumber(BuiltinBrightnessWay::BacklightFile),
                                          platform::BuiltinBrightnessWhy::DesktopServiceFailed}));
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.35f), 0);
    EXPECT_EQ(panelValue(), 350);

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
    ASSERT_TRUE(mutter->call(kMock, "ChangeMonitors", g_variant_new("(b)", FALSE)));
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
    ASSERT_TRUE(gsd->call(kMock, "SwitchPanel", g_variant_new("(b)", FALSE)));
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    EXPECT_EQ(platform::builtinBrightnessRoute().why,
              platform::BuiltinBrightnessWhy::DesktopServiceUnusable);
    ASSERT_TRUE(gsd->call(kMock, "SwitchPanel", g_variant_new("(b)", TRUE)));
    EXPECT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeSettingsDaemon));
}

// A backlight the compositor holds refuses sysfs writes with EBUSY: said
// once, not written again, not handed to logind (which writes the same
// file); the value goes to the desktop's service as soon as one answers.
TEST_F(DesktopRoutes, ABacklightTheCompositorHoldsIsLeftToTheDesktopAndSaidOnce) {
    SKIP_WITHOUT_FUSE();
    auto attribute = std::make_shared<FuseSysfsAttribute>("500\n");
    fuse->addNode("intel_backlight-brightness", attribute);
    const auto file = laptop.backlightFile("intel_backlight", "brightness");
    std::filesystem::remove(file);
    std::filesystem::create_symlink(laptop.devFolder() + "/intel_backlight-brightness", file);
    attribute->refuseWrites(EBUSY);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));  // no desktop service yet
    for (float value : {0.2f, 0.3f, 0.4f})
        EXPECT_EQ(DisplayServicesSetBrightness(panel, value), 0);
    EXPECT_EQ(attribute->writesTried(), 1);
    runUntil([] { return false; }, 0.2);
    EXPECT_EQ(loggedLines("is held by the compositor (EBUSY)"), 1);
    EXPECT_FALSE(logged("systemd-logind"));

    auto gsd = start(Kind::GnomeSettingsDaemon);
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeSettingsDaemon));
    EXPECT_EQ(callsOnce(*gsd, "Set", 1).at(0).numbers, std::vector<double>{40});
}
