// The desktop's own automatic brightness of the built-in display.
//
// - GNOME: the boolean "ambient-enabled" of gnome-settings-daemon's power
//   plug-in, read through GIO's GSettings, and only where GNOME acts on it:
//   the plug-in is on the session bus and iio-sensor-proxy has a light sensor
//   (GnomeAmbientLight.h); elsewhere, under another desktop or with no GNOME
//   running, an installed schema alone (whose key is true by default) steers
//   nothing. The schema is looked up first, so a machine without it gives
//   NotInstalled instead of GSettings aborting on an unknown schema.
// - Plasma 6.6 and later: each display's automatic brightness is KWin's, and
//   KWin tells it only to Wayland clients (KdeOutputDevices.h); libkscreen
//   (v6.6.0) learns it in its Wayland back-end alone
//   (backends/kwayland/waylandoutputdevice.cpp), its D-Bus form of a
//   configuration (src/configserializer.cpp) leaves it out. It is read, and
//   switched off, through KWin's output description wherever KWin gives it;
//   where Plasma's brightness service drives the panel and KWin does not
//   answer (no Wayland display), it cannot be read. Plasma 5.27 to 6.1 (its older brightness
//   service) have no automatic brightness, and GNOME's setting does not apply under Plasma even
//   where its schema is installed.
//
// Whether it can be switched off from here: GNOME's key only where GSettings
// calls it writable, which an administrator's dconf lock makes it not
// (dconf 0.40.0, engine/dconf-engine.c, dconf_engine_is_writable); then
// g_settings_set_boolean fails, and so does `gsettings set` ("The key is not
// writable", GLib 2.74.6, gio/gsettings-tool.c). Plasma's only where KWin
// takes the request (KdeOutputDevices.h).
#include <gio/gio.h>

#include <chrono>
#include <optional>

#include "linux/desktop/BuiltinBrightnessWay.h"
#include "linux/foundation/MainContextPost.h"
#include "linux/session/LinuxSession.h"
#include "machine/DisplayBackend.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kPowerSchema = "org.gnome.settings-daemon.plugins.power";
constexpr const char* kAmbientKey = "ambient-enabled";
// How long a program that may wait gives KWin to describe its displays, and
// to answer the switch.
constexpr std::chrono::milliseconds kFirstDescriptionWait{500};
constexpr std::chrono::milliseconds kSwitchAnswerWait{5000};

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

// Absent without the schema's key.
std::optional<bool> gnomeAmbientKeyWritable() {
    GSettings* settings = gnomePowerSettings();
    if (!settings)
        return std::nullopt;
    const bool writable = g_settings_is_writable(settings, kAmbientKey);
    g_object_unref(settings);
    return writable;
}

DesktopAutomaticBrightness gnomeAmbientKey() {
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

DesktopAutomaticBrightness LinuxSession::gnomeAmbientSetting() {
    GnomeAmbientLight& gnome = gnomeAmbient();
    if (!machine_.mainThreadNeverWaits())
        gnome.waitForFirstAnswer(kFirstDescriptionWait);
    if (!gnome.canAdjust().value_or(false))
        return DesktopAutomaticBrightness::NotInstalled;
    return gnomeAmbientKey();
}

GnomeAmbientLight& LinuxSession::gnomeAmbient() {
    std::call_once(gnomeAmbientStarted_, [this] {
        std::weak_ptr<LinuxSession*> session = alive_;
        gnomeAmbient_ = std::make_unique<GnomeAmbientLight>([session] {
            postToMainContext([session] {
                if (auto self = session.lock())
                    (*self)->automaticBrightnessMayHaveChanged();
            });
        });
    });
    return *gnomeAmbient_;
}

// KWin's answer wins wherever it has one: only Plasma (6.6 and later) gives
// it. Where Plasma's brightness service drives the panel and KWin does not
// answer, GNOME's key is not Plasma's setting.
DesktopAutomaticBrightness LinuxSession::desktopAutomaticBrightness() {
    const auto way = machine_.displays().builtinBrightnessRoute().way;
    if (way == BuiltinBrightnessWay::PlasmaPowerManagement)
        return DesktopAutomaticBrightness::NotInstalled;
    switch (kwinAutomaticBrightness()) {
        case OutputAutomaticBrightness::On:
            return DesktopAutomaticBrightness::On;
        case OutputAutomaticBrightness::Off:
            return DesktopAutomaticBrightness::Off;
        case OutputAutomaticBrightness::NoSuchSetting:
            if (way == BuiltinBrightnessWay::PlasmaScreenBrightness)
                return DesktopAutomaticBrightness::NotInstalled;
            break;
        case OutputAutomaticBrightness::NotKnown:
            if (way == BuiltinBrightnessWay::PlasmaScreenBrightness)
                return DesktopAutomaticBrightness::CannotBeRead;
            break;
    }
    return gnomeAmbientSetting();
}

AutomaticBrightnessDesktop LinuxSession::automaticBrightnessDesktop() {
    const auto kwin = kwinAutomaticBrightness();
    const bool plasma = kwin == OutputAutomaticBrightness::On ||
                        kwin == OutputAutomaticBrightness::Off ||
                        machine_.displays().builtinBrightnessRoute().way ==
                            BuiltinBrightnessWay::PlasmaScreenBrightness;
    return plasma ? AutomaticBrightnessDesktop::Plasma : AutomaticBrightnessDesktop::Gnome;
}

KdeOutputDevices& LinuxSession::kdeOutputs() {
    std::call_once(kdeOutputsStarted_, [this] {
        // Its lines are written on the run loop, as every other.
        std::weak_ptr<LinuxSession*> session = alive_;
        kdeOutputs_ = std::make_unique<KdeOutputDevices>(
            [session](const std::string& line) {
                postToMainContext([session, line] {
                    if (auto self = session.lock())
                        (*self)->machine_.writeLog(line);
                });
            },
            [session] {
                postToMainContext([session] {
                    if (auto self = session.lock())
                        (*self)->automaticBrightnessMayHaveChanged();
                });
            });
    });
    return *kdeOutputs_;
}

OutputAutomaticBrightness LinuxSession::kwinAutomaticBrightness() {
    KdeOutputDevices& outputs = kdeOutputs();
    if (!machine_.mainThreadNeverWaits())
        outputs.waitForFirstAnswer(kFirstDescriptionWait);
    return outputs.builtinAutomaticBrightness();
}

int LinuxSession::watchDesktopAutomaticBrightness(std::function<void()> handler) {
    gnomeAmbient();  // GNOME coming or going changes the answer too
    if (!watchedGnomeSettings_ && (watchedGnomeSettings_ = gnomePowerSettings())) {
        g_signal_connect_swapped(
            watchedGnomeSettings_, "changed::ambient-enabled",
            G_CALLBACK(+[](LinuxSession* self) { self->automaticBrightnessMayHaveChanged(); }),
            this);
        // GSettings tells of changes only to a key read since.
        g_settings_get_boolean(watchedGnomeSettings_, kAmbientKey);
    }
    automaticBrightnessWatches_[nextAutomaticBrightnessWatch_] = std::move(handler);
    return nextAutomaticBrightnessWatch_++;
}

void LinuxSession::unwatchDesktopAutomaticBrightness(int token) {
    automaticBrightnessWatches_.erase(token);
}

void LinuxSession::automaticBrightnessMayHaveChanged() {
    auto watches = automaticBrightnessWatches_;
    for (const auto& [token, handler] : watches)
        if (automaticBrightnessWatches_.count(token))
            handler();
}

bool LinuxSession::canSwitchOffDesktopAutomaticBrightness() {
    const auto setting = desktopAutomaticBrightness();
    if (setting == DesktopAutomaticBrightness::NotInstalled ||
        setting == DesktopAutomaticBrightness::CannotBeRead)
        return false;
    if (automaticBrightnessDesktop() == AutomaticBrightnessDesktop::Plasma)
        return kdeOutputs().canSwitchOffBuiltinAutomaticBrightness();
    return gnomeAmbientKeyWritable().value_or(false);
}

bool LinuxSession::gnomeAmbientKeyLocked() {
    return !gnomeAmbientKeyWritable().value_or(true);
}

// Written only when the person asks for it in the window, and only where it
// is the desktop's setting: under Plasma GNOME's key steers nothing. Both
// wait for the desktop's answer: never called on a window's thread.
bool LinuxSession::switchOffDesktopAutomaticBrightness() {
    if (!canSwitchOffDesktopAutomaticBrightness())
        return false;
    if (automaticBrightnessDesktop() == AutomaticBrightnessDesktop::Plasma) {
        std::string why;
        const bool done = kdeOutputs().switchOffBuiltinAutomaticBrightness(kSwitchAnswerWait, &why);
        if (!done)
            machine_.writeLog(
                "Plasma's automatic brightness of the built-in display could not be "
                "switched off: " +
                why);
        return done;
    }
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
