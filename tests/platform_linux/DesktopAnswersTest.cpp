// A desktop's brightness service that answers in a wrong type or shape (a
// property of another type, a negative maximum, no internal display, a
// display listed but gone): one clear line in the journal, the next route,
// never a crash.
#include "DesktopFixture.h"

using namespace testing_support;
using platform::BuiltinBrightnessWay;
using Kind = DesktopService::Kind;

namespace {

class DesktopAnswers : public DesktopTest {};

}  // namespace

TEST_F(DesktopAnswers, AServiceAnsweringInAWrongShapeIsNotUsedAndTheNextRouteIs) {
    struct Case {
        const char* shape;
        const char* name;
        const char* path;
        const char* said;  // in its line in the journal
    };
    const char* const plasma = "org.kde.ScreenBrightness";
    const char* const legacy = "org.kde.Solid.PowerManagement";
    const char* const mutter = "org.gnome.Mutter.DisplayConfig";
    const Case cases[] = {
        {"plasma-max-a-string", plasma, "/org/kde/ScreenBrightness", "lists no internal display"},
        {"plasma-negative-max", plasma, "/org/kde/ScreenBrightness", "lists no internal display"},
        {"plasma-no-internal-display", plasma, "/org/kde/ScreenBrightness",
         "lists no internal display"},
        {"plasma-display-gone", plasma, "/org/kde/ScreenBrightness", "lists no internal display"},
        {"plasma-names-not-strings", plasma, "/org/kde/ScreenBrightness",
         "is not used for the built-in display"},
        {"legacy-negative-max", legacy, "/org/kde/Solid/PowerManagement/Actions/BrightnessControl",
         "has no brightness range"},
        {"legacy-max-a-string", legacy, "/org/kde/Solid/PowerManagement/Actions/BrightnessControl",
         "(s)"},
        {"mutter-wrong-shape", mutter, "/org/gnome/Mutter/DisplayConfig",
         "lacks SetBacklight or Backlight"},
        {"mutter-no-range", mutter, "/org/gnome/Mutter/DisplayConfig",
         "cannot set the backlight of eDP-1"},
        {"mutter-range-upside-down", mutter, "/org/gnome/Mutter/DisplayConfig",
         "cannot set the backlight of eDP-1"},
        {"mutter-range-strings", mutter, "/org/gnome/Mutter/DisplayConfig",
         "cannot set the backlight of eDP-1"},
    };
    auto next = start(Kind::GnomeSettingsDaemon);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        machine.lines.clear();
        auto odd =
            start(Kind::Misbehaving, {{"name", c.name}, {"path", c.path}, {"shape", c.shape}});
        ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::GnomeSettingsDaemon));
        EXPECT_TRUE(runUntil([&] { return logged(std::string(c.name) + " is not used"); }));
        EXPECT_TRUE(runUntil([&] { return logged(c.said); }))
            << (machine.lines.empty() ? "" : machine.lines.back());
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.4f), 0);
        EXPECT_TRUE(runUntil([&] { return laptop.backlightValue("intel_backlight") == 406; }));
        odd.reset();
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.5f), 0);
    }
    // The last route itself, wrong: the backlight file.
    next.reset();
    auto odd = start(Kind::Misbehaving, {{"name", "org.gnome.SettingsDaemon.Power"},
                                         {"path", "/org/gnome/SettingsDaemon/Power"},
                                         {"shape", "gsd-brightness-a-string"}});
    ASSERT_TRUE(routeBecomes(BuiltinBrightnessWay::BacklightFile));
    EXPECT_TRUE(runUntil([&] { return logged("lacks Brightness"); }));
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.3f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 300);
}
