// GNOME's automatic screen brightness, read through GIO's GSettings: the
// boolean "ambient-enabled" of gnome-settings-daemon's power plug-in. The
// schema is looked up first, so a machine without GNOME gives NotInstalled
// instead of GSettings aborting on an unknown schema.
#include <gio/gio.h>

#include "linux/LinuxSession.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kPowerSchema = "org.gnome.settings-daemon.plugins.power";
constexpr const char* kAmbientKey = "ambient-enabled";

}  // namespace

DesktopAutomaticBrightness LinuxSession::desktopAutomaticBrightness() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, kPowerSchema, TRUE) : nullptr;
    if (!schema)
        return DesktopAutomaticBrightness::NotInstalled;
    auto result = DesktopAutomaticBrightness::NotInstalled;
    if (g_settings_schema_has_key(schema, kAmbientKey)) {
        GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
        result = g_settings_get_boolean(settings, kAmbientKey) ? DesktopAutomaticBrightness::On
                                                               : DesktopAutomaticBrightness::Off;
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return result;
}

}  // namespace platform::linux_machine
