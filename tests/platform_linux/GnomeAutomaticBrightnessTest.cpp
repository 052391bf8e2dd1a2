// GNOME's automatic screen brightness through GSettings, with the power
// plug-in's schema compiled into a temporary folder (GSETTINGS_SCHEMA_DIR)
// and the keyfile back-end in a temporary configuration folder.
#include <gtest/gtest.h>

#include "DisplayServices/DisplayServices.h"
#include "Session/Session.h"
#include "linux/LinuxMachine.h"
#include "support/ChildProcess.h"
#include "support/DesktopService.h"
#include "support/MainContext.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

using platform::DesktopAutomaticBrightness;
using namespace testing_support;

namespace {

// The key as gnome-settings-daemon declares it (a boolean, on by default).
const char* const kPowerSchema =
    "<schemalist><schema id=\"org.gnome.settings-daemon.plugins.power\" "
    "path=\"/org/gnome/settings-daemon/plugins/power/\">"
    "<key name=\"ambient-enabled\" type=\"b\"><default>true</default></key>"
    "</schema></schemalist>\n";

class GnomeAutomaticBrightness : public testing::Test {
  protected:
    // A desktop with the schema installed and, when given, the user's value.
    void installSchema(const char* userValue) {
        writeFile(schemas / "org.gnome.settings-daemon.plugins.power.gschema.xml", kPowerSchema);
        ASSERT_EQ(ChildProcess::run({"/usr/bin/glib-compile-schemas", schemas.path()}, {}), 0);
        if (userValue) {
            writeFile(config / "glib-2.0/settings/keyfile",
                      std::string("[org/gnome/settings-daemon/plugins/power]\nambient-enabled=") +
                          userValue + "\n");
        }
    }
    DesktopAutomaticBrightness read() {
        platform::linux_machine::LinuxMachine::installNew();
        return platform::desktopAutomaticBrightness();
    }

    TempDir schemas, config, data;
    ScopedEnv schemaDir{"GSETTINGS_SCHEMA_DIR", schemas.path()};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", data.path()};  // no schemas of the machine itself
    ScopedEnv backend{"GSETTINGS_BACKEND", "keyfile"};
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.path()};
    ScopedEnv noWaylandDisplay{"WAYLAND_DISPLAY", config / "no-wayland-display"};
};

}  // namespace

TEST_F(GnomeAutomaticBrightness, OnByTheSchemasDefault) {
    installSchema(nullptr);
    EXPECT_EQ(read(), DesktopAutomaticBrightness::On);
}

TEST_F(GnomeAutomaticBrightness, OffWhenTheUserSwitchedItOff) {
    installSchema("false");
    EXPECT_EQ(read(), DesktopAutomaticBrightness::Off);
}

// Switched off on request: stored for gnome-settings-daemon to read, and read
// back as off.
TEST_F(GnomeAutomaticBrightness, SwitchedOffAndStoredOnRequest) {
    installSchema("true");
    ASSERT_EQ(read(), DesktopAutomaticBrightness::On);
    EXPECT_TRUE(platform::switchOffDesktopAutomaticBrightness());
    EXPECT_NE(readFile(config / "glib-2.0/settings/keyfile").find("ambient-enabled=false"),
              std::string::npos);
    EXPECT_EQ(read(), DesktopAutomaticBrightness::Off);
}

// Switched in GNOME's own settings (another process writes the key): the
// watchers are told, and read the new value.
TEST_F(GnomeAutomaticBrightness, AChangeInGnomesSettingsIsToldToItsWatchers) {
    installSchema("true");
    ASSERT_EQ(read(), DesktopAutomaticBrightness::On);
    int told = 0;
    platform::watchDesktopAutomaticBrightness([&] { ++told; });
    turnMainContextUntil([] { return false; }, 0.3);  // what was on its way (KWin's "none")
    told = 0;
    ASSERT_EQ(
        ChildProcess::run({"/usr/bin/gsettings", "set", "org.gnome.settings-daemon.plugins.power",
                           "ambient-enabled", "false"},
                          {}),
        0);
    EXPECT_TRUE(turnMainContextUntil([&] { return told > 0; }, 5.0));
    EXPECT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::Off);
}

TEST_F(GnomeAutomaticBrightness, NotInstalledWithoutGnomeAndNothingToSwitchOff) {
    EXPECT_EQ(read(), DesktopAutomaticBrightness::NotInstalled);
    EXPECT_FALSE(platform::switchOffDesktopAutomaticBrightness());
}

// Under Plasma GNOME's key steers nothing, even where its schema is installed:
// switching it off would report a success that changed nothing.
TEST_F(GnomeAutomaticBrightness, UnderPlasmaGnomesKeyIsLeftAlone) {
    std::string why;
    if (!DesktopService::available(&why))
        GTEST_SKIP() << why;
    installSchema("true");
    TempDir root;
    ScopedEnv sysroot("PLATFORM_SYSROOT", root.path());
    PrivateBus session;
    VirtualLaptop laptop(root.path());
    laptop.addConnectorBacklight("intel_backlight", laptop.addBuiltinPanel(), 1000, 500);
    DesktopService plasma(
        DesktopService::Kind::PlasmaScreenBrightness,
        {{"backlight", laptop.backlightFile("intel_backlight", "brightness")}, {"max", "1000"}});
    platform::linux_machine::LinuxMachine::installNew();
    std::vector<CGDirectDisplayID> displays;
    ASSERT_EQ(platform::Machine::current().displays().activeDisplays(displays), kCGErrorSuccess);
    float ignored = 0;
    DisplayServicesGetBrightness(displays.at(0), &ignored);  // the machine looks for the route
    ASSERT_TRUE(turnMainContextUntil([] {
        return platform::builtinBrightnessRoute().way ==
               platform::BuiltinBrightnessWay::PlasmaScreenBrightness;
    }));

    EXPECT_FALSE(platform::switchOffDesktopAutomaticBrightness());
    EXPECT_NE(readFile(config / "glib-2.0/settings/keyfile").find("ambient-enabled=true"),
              std::string::npos);
}
