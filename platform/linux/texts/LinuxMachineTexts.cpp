#include "linux/texts/LinuxMachineTexts.h"

#include <map>

#include "Foundation/PreferredLanguages.h"
#include "linux/desktop/BuiltinBrightnessWay.h"
#include "linux/launchctl/SystemdUnit.h"

namespace platform::linux_machine {
namespace {

// English text -> its German and French.
using Translations = std::map<std::string, std::map<std::string, std::string>>;

const Translations& translations() {
    static const Translations kTexts = {
        {"de",
         {
             {"Plasma's org.kde.ScreenBrightness", "Plasmas org.kde.ScreenBrightness"},
             {"Plasma's org.kde.Solid.PowerManagement", "Plasmas org.kde.Solid.PowerManagement"},
             {"mutter's org.gnome.Mutter.DisplayConfig", "mutters org.gnome.Mutter.DisplayConfig"},
             {"gnome-settings-daemon's org.gnome.SettingsDaemon.Power",
              "org.gnome.SettingsDaemon.Power von gnome-settings-daemon"},
             {"the backlight's own file", "die Datei der Hintergrundbeleuchtung selbst"},
             {"GNOME's automatic screen brightness",
              "Die automatische Bildschirmhelligkeit von GNOME"},
             {"in Settings, Power", "in den Einstellungen unter Energie"},
             // Before "aus", which ends the sentence it goes into.
             {"together with the administrator of this computer, who locked it",
              "zusammen mit dem Administrator dieses Rechners, der sie gesperrt hat,"},
             {"Plasma's automatic brightness", "Die automatische Helligkeit von Plasma"},
             {"Plasma's automatic brightness of the built-in display",
              "Die automatische Helligkeit des eingebauten Bildschirms von Plasma"},
             {"in System Settings, Display & Monitor",
              "in den Systemeinstellungen unter Anzeige und Monitor"},
             // "ihn": the device the sentence names, a monitor.
             {"install the udev rule %1 and plug it in again",
              "Installiere die udev-Regel %1 und stecke ihn neu ein"},
         }},
        {"fr",
         {
             {"Plasma's org.kde.ScreenBrightness", "org.kde.ScreenBrightness de Plasma"},
             {"Plasma's org.kde.Solid.PowerManagement", "org.kde.Solid.PowerManagement de Plasma"},
             {"mutter's org.gnome.Mutter.DisplayConfig",
              "org.gnome.Mutter.DisplayConfig de mutter"},
             {"gnome-settings-daemon's org.gnome.SettingsDaemon.Power",
              "org.gnome.SettingsDaemon.Power de gnome-settings-daemon"},
             {"the backlight's own file", "le fichier du rétroéclairage lui-même"},
             {"GNOME's automatic screen brightness",
              "La luminosité automatique de l’écran de GNOME"},
             {"in Settings, Power", "dans Paramètres, Énergie"},
             {"together with the administrator of this computer, who locked it",
              "avec l’administrateur de cet ordinateur, qui l’a verrouillée"},
             {"Plasma's automatic brightness", "La luminosité automatique de Plasma"},
             {"Plasma's automatic brightness of the built-in display",
              "La luminosité automatique de l’écran intégré de Plasma"},
             {"in System Settings, Display & Monitor",
              "dans Configuration du système, Affichage et écran"},
             {"install the udev rule %1 and plug it in again",
              "installez la règle udev %1 et rebranchez-le"},
         }},
    };
    return kTexts;
}

// The first of the person's languages that has `english`, before English.
std::string worded(const std::string& english, Wording wording) {
    if (wording == Wording::English)
        return english;
    for (const auto& language : preferredLanguages()) {
        if (language == "en" || language.rfind("en_", 0) == 0)
            break;
        const auto table = translations().find(language);
        if (table == translations().end())
            continue;
        const auto text = table->second.find(english);
        if (text != table->second.end())
            return text->second;
    }
    return english;
}

}  // namespace

std::string LinuxMachineTexts::builtinRouteName(int way, Wording wording) {
    const auto known = wayNumbered(way);
    if (!known)
        return "";
    switch (*known) {
        case BuiltinBrightnessWay::None:
            return "";
        case BuiltinBrightnessWay::PlasmaScreenBrightness:
            return worded("Plasma's org.kde.ScreenBrightness", wording);
        case BuiltinBrightnessWay::PlasmaPowerManagement:
            return worded("Plasma's org.kde.Solid.PowerManagement", wording);
        case BuiltinBrightnessWay::MutterDisplayConfig:
            return worded("mutter's org.gnome.Mutter.DisplayConfig", wording);
        case BuiltinBrightnessWay::GnomeSettingsDaemon:
            return worded("gnome-settings-daemon's org.gnome.SettingsDaemon.Power", wording);
        case BuiltinBrightnessWay::Logind:
            return "systemd-logind";
        case BuiltinBrightnessWay::BacklightFile:
            return worded("the backlight's own file", wording);
    }
    return "";
}

// GNOME's setting is the key the command names (the one
// DesktopAutomaticBrightness.cpp reads), switched in Settings, Power, unless
// an administrator locked it: then neither Settings nor the command can;
// Plasma's is each display's, switched in System Settings, Display & Monitor,
// or through KWin (KdeOutputDevices.h), with no command of its own.
DesktopAutomaticBrightnessTexts LinuxMachineTexts::desktopAutomaticBrightnessTexts(
    Wording wording) {
    if (session_.automaticBrightnessDesktop() == AutomaticBrightnessDesktop::Plasma)
        return {worded("Plasma's automatic brightness", wording),
                worded("Plasma's automatic brightness of the built-in display", wording),
                worded("in System Settings, Display & Monitor", wording), ""};
    if (session_.gnomeAmbientKeyLocked())
        return {worded("GNOME's automatic screen brightness", wording),
                worded("GNOME's automatic screen brightness", wording),
                worded("together with the administrator of this computer, who locked it", wording),
                ""};
    return {worded("GNOME's automatic screen brightness", wording),
            worded("GNOME's automatic screen brightness", wording),
            worded("in Settings, Power", wording),
            "gsettings set org.gnome.settings-daemon.plugins.power ambient-enabled false"};
}

// udev applies a rules file's permissions when the device is added, so the
// device is plugged in again after the rule is installed (udev(7)).
std::string LinuxMachineTexts::deviceAccessFix(const std::string& accessRule, Wording wording) {
    return filledIn(worded("install the udev rule %1 and plug it in again", wording), accessRule);
}

// Jobs run as systemd user units (platform/linux/launchctl), whose output
// the user's journal keeps.
std::string LinuxMachineTexts::backgroundJobLogCommand(const std::string& label, Wording) {
    return "journalctl --user -u " + launchctl::unitNameForLabel(label).value_or(label);
}

// The service client asks iio-sensor-proxy on the system bus, else reads an
// IIO light sensor itself (platform/linux/light); both names stay as they are.
std::string LinuxMachineTexts::lightServiceSources(Wording) {
    return "iio-sensor-proxy, else IIO";
}

}  // namespace platform::linux_machine
