// What the Linux machine calls its things for a person, with the desktops'
// brightness services played by our fakes: each route's kind and name, whose
// automatic brightness it is and where that is switched off, in English and
// in the person's German or French; and the fixes it names for a device that
// may not be opened and a background job that stopped.
#include "DesktopFixture.h"
#include "linux/desktop/BuiltinBrightnessWay.h"
#include "machine/MachineTexts.h"

using namespace testing_support;
using platform::BuiltinBrightnessWay;
using platform::BuiltinRouteKind;
using platform::Wording;

namespace {

// The person's languages, as gettext reads them.
struct Language {
    explicit Language(const std::string& tag)
        : language_("LANGUAGE", tag), all_("LC_ALL", std::nullopt), lang_("LANG", tag + ".UTF-8") {}
    ScopedEnv language_, all_, lang_;
};

class MachineTexts : public DesktopTest {};

struct RouteRow {
    std::optional<DesktopService::Kind> service;  // none: the backlight's own file
    BuiltinBrightnessWay way;
    BuiltinRouteKind kind;
    std::string english, french;  // the route's name
    std::string setting, where, command;
    std::string germanWhere;
};

const std::string kGnome = "GNOME's automatic screen brightness";
const std::string kGnomeWhere = "in Settings, Power";
const std::string kGnomeCommand =
    "gsettings set org.gnome.settings-daemon.plugins.power ambient-enabled false";

}  // namespace

TEST_F(MachineTexts, EachRouteIsNamedAndTheDesktopsSettingToldInThePersonsLanguage) {
    const std::vector<RouteRow> rows = {
        {DesktopService::Kind::PlasmaScreenBrightness, BuiltinBrightnessWay::PlasmaScreenBrightness,
         BuiltinRouteKind::DesktopService, "Plasma's org.kde.ScreenBrightness",
         "org.kde.ScreenBrightness de Plasma", "Plasma's automatic brightness",
         "in System Settings, Display & Monitor", "",
         "in den Systemeinstellungen unter Anzeige und Monitor"},
        {DesktopService::Kind::MutterDisplayConfig, BuiltinBrightnessWay::MutterDisplayConfig,
         BuiltinRouteKind::DesktopService, "mutter's org.gnome.Mutter.DisplayConfig",
         "org.gnome.Mutter.DisplayConfig de mutter", kGnome, kGnomeWhere, kGnomeCommand,
         "in den Einstellungen unter Energie"},
        {DesktopService::Kind::GnomeSettingsDaemon, BuiltinBrightnessWay::GnomeSettingsDaemon,
         BuiltinRouteKind::DesktopService, "gnome-settings-daemon's org.gnome.SettingsDaemon.Power",
         "org.gnome.SettingsDaemon.Power de gnome-settings-daemon", kGnome, kGnomeWhere,
         kGnomeCommand, "in den Einstellungen unter Energie"},
        {std::nullopt, BuiltinBrightnessWay::BacklightFile, BuiltinRouteKind::BacklightFile,
         "the backlight's own file", "le fichier du rétroéclairage lui-même", kGnome, kGnomeWhere,
         kGnomeCommand, "in den Einstellungen unter Energie"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.english);
        const auto service = row.service ? start(*row.service) : std::unique_ptr<DesktopService>{};
        ASSERT_TRUE(routeBecomes(row.way));
        auto& texts = platform::machineTexts();
        const int way = platform::builtinBrightnessRoute().way;
        EXPECT_EQ(platform::builtinRouteKind(way), row.kind);
        EXPECT_EQ(texts.builtinRouteName(way, Wording::English), row.english);
        const auto setting = texts.desktopAutomaticBrightnessTexts(Wording::English);
        EXPECT_EQ(setting.name, row.setting);
        EXPECT_EQ(setting.whereToSwitchOff, row.where);
        EXPECT_EQ(setting.commandToSwitchOff, row.command);
        {
            Language french("fr");
            EXPECT_EQ(texts.builtinRouteName(way, Wording::PersonsLanguage), row.french);
            EXPECT_EQ(texts.builtinRouteName(way, Wording::English), row.english);
        }
        {
            Language german("de");
            EXPECT_EQ(
                texts.desktopAutomaticBrightnessTexts(Wording::PersonsLanguage).whereToSwitchOff,
                row.germanWhere);
            // A command is typed as it stands, in every language.
            EXPECT_EQ(
                texts.desktopAutomaticBrightnessTexts(Wording::PersonsLanguage).commandToSwitchOff,
                row.command);
        }
        Language english("en_GB");
        EXPECT_EQ(texts.builtinRouteName(way, Wording::PersonsLanguage), row.english);
    }
}

TEST_F(MachineTexts, RouteNumbersAreTheOnesAnAgentOfAnotherBuildPublishes) {
    EXPECT_EQ(platform::builtinRouteKind(0), BuiltinRouteKind::None);
    EXPECT_EQ(platform::builtinRouteKind(5), BuiltinRouteKind::PrivilegedHelper);
    EXPECT_EQ(platform::machineTexts().builtinRouteName(5, Wording::English), "systemd-logind");
    EXPECT_EQ(platform::builtinRouteKind(6), BuiltinRouteKind::BacklightFile);
    EXPECT_EQ(platform::builtinRouteKind(7), std::nullopt);
    EXPECT_EQ(platform::builtinRouteKind(-1), std::nullopt);
    EXPECT_EQ(platform::machineTexts().builtinRouteName(7, Wording::English), "");
}

TEST_F(MachineTexts, TheFixesNameTheProgramsRuleAndTheJobsUnit) {
    auto& texts = platform::machineTexts();
    const struct {
        std::string language, fix;
    } rows[] = {
        {"en", "install the udev rule 70-x.rules and plug it in again"},
        {"de", "Installiere die udev-Regel 70-x.rules und stecke ihn neu ein"},
        {"fr", "installez la règle udev 70-x.rules et rebranchez-le"},
    };
    for (const auto& row : rows) {
        Language language(row.language);
        EXPECT_EQ(texts.deviceAccessFix("70-x.rules", Wording::PersonsLanguage), row.fix);
        EXPECT_EQ(texts.deviceAccessFix("70-x.rules", Wording::English), rows[0].fix);
    }
    // The unit launchctl makes of the label, escaped as systemd needs.
    EXPECT_EQ(texts.backgroundJobLogCommand("org.example.Job", Wording::English),
              "journalctl --user -u org.example.Job.service");
    EXPECT_EQ(texts.backgroundJobLogCommand("org.example.My Job", Wording::PersonsLanguage),
              "journalctl --user -u org.example.My\\x20Job.service");
}
