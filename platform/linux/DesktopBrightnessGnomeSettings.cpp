// GNOME 46 to 48: gnome-settings-daemon's power plug-in owns the backlight.
//
// Facts, from GNOME/gnome-settings-daemon (tags 46.0 to 48.1):
// - plugins/power/gsd-power-manager.c: the name org.gnome.SettingsDaemon.Power,
//   the object /org/gnome/SettingsDaemon/Power, the interface
//   org.gnome.SettingsDaemon.Power.Screen with the property Brightness (i,
//   readwrite), set through org.freedesktop.DBus.Properties.Set
//   (handle_set_property); it is announced with PropertiesChanged.
// - plugins/power/gpm-common.c: the brightness is a percentage, 0 to 100,
//   spread over the backlight's min..max (gsd_power_backlight_percentage_to_abs;
//   a value outside 0..100 is refused there).
// - plugins/power/gsd-backlight.c (gsd_backlight_get_brightness): -1 while
//   the built-in display is switched off; gsd-power-manager.c answers -1 as
//   well when it has no backlight.
// Gone from 49 on (commit 8bef304b, "Only support mutter backlight control").
// Its PropertiesChanged does not say who made a change, so this route
// reports no person's change.
#include <cmath>

#include "linux/DesktopBrightnessRoute.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kName = "org.gnome.SettingsDaemon.Power";
constexpr const char* kPath = "/org/gnome/SettingsDaemon/Power";
constexpr const char* kInterface = "org.gnome.SettingsDaemon.Power.Screen";
constexpr int kPanelOff = -1;

// The Brightness value in a PropertiesChanged of the screen interface, if any.
std::optional<int> announcedBrightness(const char* path, const char* member, GVariant* parameters) {
    if (g_strcmp0(path, kPath) != 0 || g_strcmp0(member, "PropertiesChanged") != 0 ||
        !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)"))) {
        return std::nullopt;
    }
    const gchar* interface = nullptr;
    GVariant* changed = nullptr;
    g_variant_get(parameters, "(&s@a{sv}@as)", &interface, &changed, nullptr);
    std::optional<int> brightness;
    if (g_strcmp0(interface, kInterface) == 0)
        brightness = lookupInt(changed, "Brightness");
    g_variant_unref(changed);
    return brightness;
}

class GnomeSettingsDaemonRoute : public DesktopBrightnessRoute {
  public:
    BuiltinBrightnessWay way() const override { return BuiltinBrightnessWay::GnomeSettingsDaemon; }
    const char* busName() const override { return kName; }

    bool attach(DesktopBus& bus, const BuiltinPanel&) override {
        auto info = bus.describe(kName, kPath, kInterface);
        if (!info || !offersProperty(info.get(), "Brightness", "i")) {
            if (info)
                bus.setError(std::string(kInterface) + " lacks Brightness");
            return false;
        }
        Variant value = bus.property(kName, kPath, kInterface, "Brightness");
        if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_INT32))
            return false;
        off_ = g_variant_get_int32(value.get()) == kPanelOff;
        if (off_) {
            bus.setError(std::string(kInterface) + ": the built-in display is off (Brightness -1)");
            return false;
        }
        return true;
    }

    bool write(DesktopBus& bus, double brightness) override {
        return bus
            .call(kName, kPath, "org.freedesktop.DBus.Properties", "Set",
                  g_variant_new("(ssv)", kInterface, "Brightness",
                                g_variant_new_int32(scaledTo(brightness, 100))),
                  "()", DesktopBus::kWriteTimeoutMs)
            .get();
    }

    RouteSignal onSignal(DesktopBus&, const char* path, const char*, const char* member,
                         GVariant* parameters) override {
        // The panel switched off or on again: found again either way.
        auto brightness = announcedBrightness(path, member, parameters);
        if (brightness && (*brightness == kPanelOff) != off_) {
            off_ = *brightness == kPanelOff;
            return {RouteSignal::Kind::LookAgain, std::nullopt};
        }
        return {};
    }

  private:
    bool off_ = false;
};

}  // namespace

std::unique_ptr<DesktopBrightnessRoute> makeGnomeSettingsDaemonRoute() {
    return std::make_unique<GnomeSettingsDaemonRoute>();
}

}  // namespace platform::linux_machine
