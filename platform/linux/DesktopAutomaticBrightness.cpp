// The desktop's own automatic brightness of the built-in display.
//
// - GNOME: the boolean "ambient-enabled" of gnome-settings-daemon's power
//   plug-in, read through GIO's GSettings. The schema is looked up first, so a
//   machine without GNOME gives NotInstalled instead of GSettings aborting on
//   an unknown schema.
// - Plasma 6.6 and later: each display's automatic brightness is KWin's, and
//   KWin announces it only to Wayland clients: the capability auto_brightness
//   (0x4000, since version 19) and the event auto_brightness (since 20) of
//   kde_output_device_v2 (KDE/plasma-wayland-protocols v1.20.0,
//   src/protocols/kde-output-device-v2.xml). libkscreen (v6.6.0) learns it in
//   its Wayland back-end alone (backends/kwayland/waylandoutputdevice.cpp); its
//   D-Bus form of a configuration (src/configserializer.cpp) leaves it out. A
//   program without a display connection cannot read it, so where Plasma's
//   brightness service drives the panel the answer is CannotBeRead. Plasma
//   5.27 to 6.1 (its older brightness service) have no automatic brightness,
//   and GNOME's setting does not apply under Plasma even where its schema is
//   installed.
#include <gio/gio.h>

#include "CoreGraphics/DisplayBackend.h"
#include "linux/LinuxSession.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kPowerSchema = "org.gnome.settings-daemon.plugins.power";
constexpr const char* kAmbientKey = "ambient-enabled";

// GNOME's power settings, when their schema has the key; null otherwise.
GSettings* gnomePowerSettings() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, kPowerSchema, TRUE) : nullptr;
    if (!schema)
        return nullptr;
    GSettings* settings = g_settings_schema_has_key(schema, kAmbientKey)
                              ? g_settings_new_full(schema, nullptr, nullptr)
                              : nullptr;
    g_settings_schema_unref(schema);
    return settings;
}

DesktopAutomaticBrightness gnomeAmbientSetting() {
    GSettings* settings = gnomePowerSettings();
    if (!settings)
        return DesktopAutomaticBrightness::NotInstalled;
    const auto result = g_settings_get_boolean(settings, kAmbientKey)
                            ? DesktopAutomaticBrightness::On
                            : DesktopAutomaticBrightness::Off;
    g_object_unref(settings);
    return result;
}

}  // namespace

DesktopAutomaticBrightness LinuxSession::desktopAutomaticBrightness() {
    switch (machine_.displays().builtinBrightnessRoute().way) {
        case BuiltinBrightnessWay::PlasmaScreenBrightness:
            return DesktopAutomaticBrightness::CannotBeRead;
        case BuiltinBrightnessWay::PlasmaPowerManagement:
            return DesktopAutomaticBrightness::NotInstalled;
        default:
            return gnomeAmbientSetting();
    }
}

// The one key, written only when the person asks for it in the window, and
// only where it is the desktop's setting: under Plasma it steers nothing.
bool LinuxSession::switchOffDesktopAutomaticBrightness() {
    const auto setting = desktopAutomaticBrightness();
    if (setting == DesktopAutomaticBrightness::NotInstalled ||
        setting == DesktopAutomaticBrightness::CannotBeRead)
        return false;
    GSettings* settings = gnomePowerSettings();
    if (!settings)
        return false;
    const bool written = g_settings_set_boolean(settings, kAmbientKey, FALSE);
    g_settings_sync();  // stored before the window says it is done
    g_object_unref(settings);
    if (!written)
        machine_.writeLog("GNOME's automatic screen brightness could not be switched off");
    return written;
}

}  // namespace platform::linux_machine
