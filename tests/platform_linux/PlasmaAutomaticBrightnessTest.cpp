// Plasma's automatic brightness of the built-in display, read from KWin's
// description of its displays and switched off through it, with our fake
// compositor in KWin's place and our fake of Plasma's brightness service on a
// private session bus (which makes Plasma's the panel's route).
#include "DesktopFixture.h"
#include "support/FakeKdeOutputs.h"
#include "support/Waiting.h"

using namespace testing_support;
using platform::DesktopAutomaticBrightness;
using Display = FakeKdeOutputs::Display;

namespace {

class PlasmaAutomaticBrightness : public DesktopTest {
  protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped())
            return;
        plasma = start(DesktopService::Kind::PlasmaScreenBrightness);
        ASSERT_TRUE(routeBecomes(platform::BuiltinBrightnessWay::PlasmaScreenBrightness));
    }

    // KWin in the session, with `displays`, before anything asks it.
    FakeKdeOutputs& kwin(std::vector<Display> displays, FakeKdeOutputs::Options options = {}) {
        compositor = std::make_unique<FakeKdeOutputs>(std::move(displays), options);
        display = std::make_unique<ScopedEnv>("WAYLAND_DISPLAY", compositor->socketPath());
        return *compositor;
    }

    static bool becomes(DesktopAutomaticBrightness expected) {
        return waitFor([&] { return platform::desktopAutomaticBrightness() == expected; }, 5.0);
    }

    std::unique_ptr<DesktopService> plasma;
    std::unique_ptr<FakeKdeOutputs> compositor;
    std::unique_ptr<ScopedEnv> display;
};

const Display kPanelOn{"eDP-1", true, true};
const Display kMonitorOff{"HDMI-A-1", true, false};

}  // namespace

TEST_F(PlasmaAutomaticBrightness, IsTheBuiltinDisplaysAsKWinSaysAndFollowsItsChanges) {
    // The monitor's setting is not the panel's: listed first, it must not count.
    auto& fake = kwin({kMonitorOff, kPanelOn});
    // A program that may wait has the answer at its first question.
    EXPECT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::On);
    fake.setAutomatic("eDP-1", false);  // in System Settings
    EXPECT_TRUE(becomes(DesktopAutomaticBrightness::Off));
    fake.setAutomatic("eDP-1", true);
    EXPECT_TRUE(becomes(DesktopAutomaticBrightness::On));
}

TEST_F(PlasmaAutomaticBrightness, IsSwitchedOffOnRequestAndARefusalIsLoggedWithKWinsReason) {
    auto& fake = kwin({kPanelOn, kMonitorOff});
    ASSERT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::On);
    EXPECT_TRUE(platform::canSwitchOffDesktopAutomaticBrightness());

    fake.refuseConfigurations("output is busy");
    EXPECT_FALSE(platform::switchOffDesktopAutomaticBrightness());
    EXPECT_TRUE(
        logged("Plasma's automatic brightness of the built-in display could not be "
               "switched off: the compositor refused: output is busy"));
    EXPECT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::On);

    fake.refuseConfigurations("");
    EXPECT_TRUE(platform::switchOffDesktopAutomaticBrightness());
    // Known as off when the switch returns: the window shows it at once.
    EXPECT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::Off);
    EXPECT_FALSE(fake.automatic("eDP-1"));
    EXPECT_EQ(fake.requests(),
              (std::vector<std::string>{"eDP-1 auto_brightness 0", "eDP-1 auto_brightness 0"}));
}

TEST_F(PlasmaAutomaticBrightness, WithoutKWinsDescriptionItCannotBeReadNorSwitched) {
    // The fixture's WAYLAND_DISPLAY names no socket.
    EXPECT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::CannotBeRead);
    EXPECT_FALSE(platform::canSwitchOffDesktopAutomaticBrightness());
    EXPECT_FALSE(platform::switchOffDesktopAutomaticBrightness());
    EXPECT_TRUE(runUntil([&] {
        return logged(
            "The compositor's description of the displays cannot be read: no Wayland "
            "display to connect to");
    }));
}

// Each generation of Plasma, as its compositor describes the displays.
struct Generation {
    const char* name;  // of the test case
    const char* what;
    FakeKdeOutputs::Options options;
    std::vector<Display> displays;
    DesktopAutomaticBrightness expected;
    bool switchable;  // KWin takes the switch-off from here
};

class PlasmaGenerations : public PlasmaAutomaticBrightness,
                          public ::testing::WithParamInterface<Generation> {};

// Switched off only where the compositor takes the request: elsewhere
// nothing is sent (a request of a later version than the configuration's
// would end the connection) and nothing is logged.
TEST_P(PlasmaGenerations, AreReadAsTheirCompositorTellsAndSwitchedWhereItTakesTheRequest) {
    const Generation& g = GetParam();
    auto& fake = kwin(g.displays, g.options);
    EXPECT_EQ(platform::desktopAutomaticBrightness(), g.expected) << g.what;
    EXPECT_EQ(platform::canSwitchOffDesktopAutomaticBrightness(), g.switchable) << g.what;
    EXPECT_EQ(platform::switchOffDesktopAutomaticBrightness(), g.switchable) << g.what;
    EXPECT_EQ(fake.requests().size(), g.switchable ? 1u : 0u) << g.what;
    EXPECT_EQ(platform::desktopAutomaticBrightness(),
              g.switchable ? DesktopAutomaticBrightness::Off : g.expected)
        << g.what;
    EXPECT_FALSE(logged("could not be switched off")) << g.what;
}

INSTANTIATE_TEST_SUITE_P(
    Plasma, PlasmaGenerations,
    ::testing::Values(
        Generation{"Plasma65",
                   "6.5: no automatic brightness",
                   {18, true},
                   {kPanelOn},
                   DesktopAutomaticBrightness::NotInstalled,
                   false},
        Generation{"CapabilityOnly",
                   "capability without its state",
                   {19, true},
                   {kPanelOn},
                   DesktopAutomaticBrightness::CannotBeRead,
                   false},
        Generation{"Plasma66", "6.6", {20, true}, {kPanelOn}, DesktopAutomaticBrightness::On, true},
        Generation{"Registry",
                   "announced by the registry, no configuration offered",
                   {21, false},
                   {kMonitorOff, kPanelOn},
                   DesktopAutomaticBrightness::On,
                   false},
        Generation{"OlderConfiguration",
                   "a configuration of a version without set_auto_brightness",
                   {20, true, 17},
                   {kPanelOn},
                   DesktopAutomaticBrightness::On,
                   false},
        Generation{"NoSensor",
                   "a panel without a light sensor",
                   {20, true},
                   {{"eDP-1", false, false}},
                   DesktopAutomaticBrightness::NotInstalled,
                   false},
        Generation{"NoPanel",
                   "no built-in display",
                   {20, true},
                   {{"DP-2", true, true}},
                   DesktopAutomaticBrightness::NotInstalled,
                   false}),
    [](const auto& info) { return std::string(info.param.name); });

// Plugged in and out: globals (6.6), the registry's `output` and `removed`
// (later).
class PanelHotplug : public PlasmaAutomaticBrightness,
                     public ::testing::WithParamInterface<uint32_t> {};

TEST_P(PanelHotplug, BringsAndTakesItsSetting) {
    auto& fake = kwin({kMonitorOff}, {GetParam(), true});
    ASSERT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::NotInstalled);
    fake.plugIn(kPanelOn);
    EXPECT_TRUE(becomes(DesktopAutomaticBrightness::On));
    fake.remove("eDP-1");
    EXPECT_TRUE(becomes(DesktopAutomaticBrightness::NotInstalled));
}

INSTANTIATE_TEST_SUITE_P(GlobalAndRegistry, PanelHotplug, ::testing::Values(20u, 21u));
