// GNOME's automatic screen brightness: the key through GSettings, with the
// power plug-in's schema compiled into a temporary folder
// (GSETTINGS_SCHEMA_DIR) and the keyfile back-end in a temporary
// configuration folder (dconf with a database of its own where a lock is
// wanted), and only where GNOME acts on it: its power plug-in's name on the
// private session bus, and the real iio-sensor-proxy on the private system
// bus with a light sensor under umockdev.
#include <gtest/gtest.h>
#include <unistd.h>

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <memory>

#include "DisplayServices/DisplayServices.h"
#include "Session/Session.h"
#include "linux/LinuxMachine.h"
#include "machine/MachineTexts.h"
#include "real_parts/RealSensorProxy.h"
#include "support/ChildProcess.h"
#include "support/DesktopService.h"
#include "support/LoggingLinuxMachine.h"
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
    // The person's value of the key (null: the schema's default), as GNOME
    // Settings stores it.
    void setKey(const char* userValue) {
        GSettings* settings = g_settings_new("org.gnome.settings-daemon.plugins.power");
        if (userValue)
            g_settings_set_boolean(settings, "ambient-enabled", g_str_equal(userValue, "true"));
        else
            g_settings_reset(settings, "ambient-enabled");
        g_settings_sync();
        g_object_unref(settings);
    }
    // GNOME's power plug-in on the session bus (its name is what tells).
    void startGnome() {
        gnome = connectToBus(session.address());
        ASSERT_EQ(requestBusName(gnome, "org.gnome.SettingsDaemon.Power"), 1u);
    }
    void startSensorProxy() {
        const std::string why = RealSensorProxy::whyNotRunnable();
        if (!why.empty())
            GTEST_SKIP() << why;
        proxy = std::make_unique<RealSensorProxy>(RealSensorProxy::Sensor::IIOLight, 300.0);
        std::string failed;
        ASSERT_TRUE(proxy->start(&failed)) << failed;
    }
    // GNOME with its sensor, and the key as given.
    void gnomeWithSensor(const char* userValue) {
        installSchema(userValue);
        startSensorProxy();
        startGnome();
    }
    DesktopAutomaticBrightness read() {
        platform::linux_machine::LinuxMachine::installNew();
        return platform::desktopAutomaticBrightness();
    }
    void TearDown() override {
        platform::Machine::install(nullptr);  // its threads end before the buses
        if (gnome) {
            g_dbus_connection_close_sync(gnome, nullptr, nullptr);
            g_object_unref(gnome);
        }
    }

    TempDir schemas, config, data;
    ScopedEnv schemaDir{"GSETTINGS_SCHEMA_DIR", schemas.path()};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", data.path()};  // no schemas of the machine itself
    ScopedEnv backend{"GSETTINGS_BACKEND", "keyfile"};
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.path()};
    ScopedEnv noWaylandDisplay{"WAYLAND_DISPLAY", config / "no-wayland-display"};
    PrivateBus session;
    PrivateBus system{PrivateBus::Kind::System};
    GDBusConnection* gnome = nullptr;
    std::unique_ptr<RealSensorProxy> proxy;
};

}  // namespace

// The key counts only where GNOME acts on it; an installed schema, whose key
// is on by default, steers nothing by itself.
TEST_F(GnomeAutomaticBrightness, TheKeyCountsOnlyWithGnomesPowerPluginAndALightSensor) {
    struct Case {
        const char* name;
        const char* userValue;  // null: the schema's default
        bool gnome, sensor;
        DesktopAutomaticBrightness expected;
    };
    const Case cases[] = {
        {"schema alone", nullptr, false, false, DesktopAutomaticBrightness::NotInstalled},
        {"GNOME without a sensor", nullptr, true, false, DesktopAutomaticBrightness::NotInstalled},
        {"a sensor without GNOME", nullptr, false, true, DesktopAutomaticBrightness::NotInstalled},
        {"GNOME with its sensor, by default", nullptr, true, true, DesktopAutomaticBrightness::On},
        {"GNOME with its sensor, switched off", "false", true, true,
         DesktopAutomaticBrightness::Off},
    };
    installSchema(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setKey(c.userValue);
        if (c.sensor && !proxy)
            startSensorProxy();
        if (!c.sensor && proxy)
            proxy.reset();
        if (c.gnome && !gnome)
            startGnome();
        if (!c.gnome && gnome) {
            g_dbus_connection_close_sync(gnome, nullptr, nullptr);
            g_object_unref(gnome);
            gnome = nullptr;
        }
        EXPECT_EQ(read(), c.expected);
        EXPECT_EQ(platform::canSwitchOffDesktopAutomaticBrightness(),
                  c.expected != DesktopAutomaticBrightness::NotInstalled);
        if (c.expected == DesktopAutomaticBrightness::NotInstalled)
            EXPECT_FALSE(platform::switchOffDesktopAutomaticBrightness());
    }
}

// Switched off on request: stored for gnome-settings-daemon to read, and read
// back as off.
TEST_F(GnomeAutomaticBrightness, SwitchedOffAndStoredOnRequest) {
    gnomeWithSensor("true");
    ASSERT_EQ(read(), DesktopAutomaticBrightness::On);
    EXPECT_TRUE(platform::canSwitchOffDesktopAutomaticBrightness());
    EXPECT_TRUE(platform::switchOffDesktopAutomaticBrightness());
    EXPECT_NE(readFile(config / "glib-2.0/settings/keyfile").find("ambient-enabled=false"),
              std::string::npos);
    EXPECT_EQ(read(), DesktopAutomaticBrightness::Off);
}

// An administrator's lock on the key, as GNOME's settings store keeps one: a
// dconf database compiled from a keyfile folder and its locks/ (as `dconf
// update` compiles /etc/dconf/db/*.d), under the user's own in the profile
// (DCONF_PROFILE, file-db: as dconf 0.40.0 reads it,
// engine/dconf-engine-profile.c). GNOME acts on the key, but this session
// may not switch it off, and nothing is tried.
TEST_F(GnomeAutomaticBrightness, AKeyTheAdministratorLockedIsNotSwitchedOff) {
    if (access("/usr/bin/dconf", X_OK) != 0)
        GTEST_SKIP() << "dconf (dconf-cli) is not installed";
    TempDir site, runtime;
    writeFile(site / "power.d/00-power",
              "[org/gnome/settings-daemon/plugins/power]\nambient-enabled=true\n");
    writeFile(site / "power.d/locks/power",
              "/org/gnome/settings-daemon/plugins/power/ambient-enabled\n");
    ASSERT_EQ(
        ChildProcess::run({"/usr/bin/dconf", "compile", site / "power", site / "power.d"}, {}), 0);
    writeFile(site / "locked", "user-db:user\nfile-db:" + site / "power" + "\n");
    writeFile(site / "unlocked", "user-db:user\n");
    ScopedEnv profile("DCONF_PROFILE", site / "locked");
    ScopedEnv store("GSETTINGS_BACKEND", "dconf");
    ScopedEnv userRuntime("XDG_RUNTIME_DIR", runtime.path());  // dconf's own files
    // dconf's worker thread talks through GLib's shared bus connections,
    // which by default end the process when their bus goes, and it may first
    // connect only as the GSettings objects go, after this body. Held for the
    // rest of the process with exit-on-close off, the shared ones are what it
    // gets, and the private buses' end at teardown only closes them.
    static GDBusConnection* heldForTheProcess[2] = {};
    const GBusType types[2] = {G_BUS_TYPE_SESSION, G_BUS_TYPE_SYSTEM};
    for (int i = 0; i < 2; ++i) {
        heldForTheProcess[i] = g_bus_get_sync(types[i], nullptr, nullptr);
        ASSERT_TRUE(heldForTheProcess[i]);
        g_dbus_connection_set_exit_on_close(heldForTheProcess[i], FALSE);
    }
    GSettingsBackend* backend = g_settings_backend_get_default();
    const std::string kind = G_OBJECT_TYPE_NAME(backend);
    g_object_unref(backend);
    if (kind != "DConfSettingsBackend")
        GTEST_SKIP() << "GIO has no dconf back-end here (dconf-gsettings-backend)";
    gnomeWithSensor(nullptr);
    // Without the lock the same store lets the key be written.
    ChildProcess unlocked({"/usr/bin/gsettings", "writable",
                           "org.gnome.settings-daemon.plugins.power", "ambient-enabled"},
                          {{"DCONF_PROFILE", site / "unlocked"}});
    ASSERT_EQ(unlocked.wait(), 0);
    ASSERT_EQ(unlocked.standardOutput(), "true\n");

    auto& machine = LoggingLinuxMachine::installNew();
    ASSERT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::On);
    EXPECT_FALSE(platform::canSwitchOffDesktopAutomaticBrightness());
    EXPECT_FALSE(platform::switchOffDesktopAutomaticBrightness());
    EXPECT_FALSE(machine.logged("could not be switched off")) << "a write was tried";
    // Neither GNOME's settings nor its command can switch it: the person is
    // sent to whoever locked it.
    const auto words =
        platform::machineTexts().desktopAutomaticBrightnessTexts(platform::Wording::English);
    EXPECT_EQ(words.whereToSwitchOff,
              "together with the administrator of this computer, who locked it");
    EXPECT_EQ(words.commandToSwitchOff, "");
}

// Switched in GNOME's own settings (another process writes the key), and
// GNOME coming or going: the watchers are told, and read the new answer.
TEST_F(GnomeAutomaticBrightness, AChangeOfTheKeyOrOfGnomeIsToldToItsWatchers) {
    installSchema("true");
    startSensorProxy();
    ASSERT_EQ(read(), DesktopAutomaticBrightness::NotInstalled);
    int told = 0;
    platform::watchDesktopAutomaticBrightness([&] { ++told; });
    turnMainContextUntil([] { return false; }, 0.3);  // what was on its way (KWin's "none")
    told = 0;
    startGnome();
    EXPECT_TRUE(turnMainContextUntil([&] { return told > 0; }, 5.0));
    EXPECT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::On);
    told = 0;
    ASSERT_EQ(
        ChildProcess::run({"/usr/bin/gsettings", "set", "org.gnome.settings-daemon.plugins.power",
                           "ambient-enabled", "false"},
                          {}),
        0);
    EXPECT_TRUE(turnMainContextUntil([&] { return told > 0; }, 5.0));
    EXPECT_EQ(platform::desktopAutomaticBrightness(), DesktopAutomaticBrightness::Off);
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
