// GNOME 43 to 48: gnome-settings-daemon's power plug-in owns the backlight.
//
// Facts, from GNOME/gnome-settings-daemon (tags 43.0 and 48.0):
// - plugins/power/gsd-power-manager.c: the name org.gnome.SettingsDaemon.Power,
//   the object /org/gnome/SettingsDaemon/Power, the interface
//   org.gnome.SettingsDaemon.Power.Screen with the property Brightness (i,
//   readwrite), set through org.freedesktop.DBus.Properties.Set
//   (handle_set_property). Every change of the panel, its own (keys, idle
//   dimming, automatic brightness), another program's seen through the
//   backlight's uevent, and ours, is announced with PropertiesChanged of
//   Brightness (backlight_iface_emit_changed from backlight_notify_brightness_cb);
//   the announcement does not say who made it. While the plug-in starts or
//   stops, Get and Set answer "No session" (handle_get_property).
// - plugins/power/gpm-common.c: the brightness is a percentage; a value p
//   lands on the backlight as min + (p·(max−min) + 50) / 100 in whole numbers
//   (gsd_power_backlight_percentage_to_abs, gsd_power_backlight_convert_safe),
//   and a raw value v is announced as ((v−min)·100 + (max−min)/2) / (max−min)
//   (gsd_power_backlight_abs_to_percentage).
// - plugins/power/gsd-backlight.c (gsd_backlight_udev_init): min = MAX (1,
//   max·0.01), and 0 for a backlight of type "raw" with fewer than 99 steps;
//   a Brightness of -1 while the built-in display is switched off
//   (gsd_backlight_get_brightness); queued writes are compressed into the
//   newest (gsd_backlight_process_taskqueue), so any pace is taken.
// Gone from 49 on (commit 8bef304b, "Only support mutter backlight control").
#include <cmath>

#include "linux/bus/PropertyChanges.h"
#include "linux/desktop/DesktopBrightnessRoute.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kName = "org.gnome.SettingsDaemon.Power";
constexpr const char* kPath = "/org/gnome/SettingsDaemon/Power";
constexpr const char* kInterface = "org.gnome.SettingsDaemon.Power.Screen";
constexpr int kPanelOff = -1;

// gnome-settings-daemon's range of the panel's backlight.
struct GsdRange {
    long long min = 0;
    long long max = 100;

    static GsdRange of(const BuiltinPanel& panel) {
        GsdRange r;
        r.max = panel.maxBrightness > 0 ? panel.maxBrightness : 100;
        r.min = std::max<long long>(1, static_cast<long long>(static_cast<double>(r.max) * 0.01));
        if (r.max < 99 && panel.backlightType == "raw")
            r.min = 0;
        return r;
    }
    long long rawOf(int percent) const {
        return min + (static_cast<long long>(percent) * (max - min) + 50) / 100;
    }
    int percentOf(long long raw) const {
        return static_cast<int>(((raw - min) * 100 + (max - min) / 2) / (max - min));
    }
};

// The Brightness value in a PropertiesChanged of the screen interface, if any.
std::optional<int> announcedBrightness(const char* path, const char* member, GVariant* parameters) {
    if (g_strcmp0(path, kPath) != 0 || g_strcmp0(member, "PropertiesChanged") != 0)
        return std::nullopt;
    auto changes = readPropertyChanges(parameters, kInterface);
    return changes ? changes->int32("Brightness") : std::nullopt;
}

class GnomeSettingsDaemonRoute : public DesktopBrightnessRoute {
  public:
    BuiltinBrightnessWay way() const override { return BuiltinBrightnessWay::GnomeSettingsDaemon; }
    const char* busName() const override { return kName; }
    bool announcesChanges() const override { return true; }

    bool attach(DesktopBus& bus, const BuiltinPanel& panel) override {
        range_ = GsdRange::of(panel);
        auto info = bus.describe(kName, kPath, kInterface);
        if (!info || !offersProperty(info.get(), "Brightness", "i")) {
            if (info)
                bus.setError(std::string(kInterface) + " lacks Brightness");
            return false;
        }
        Variant value = bus.property(kName, kPath, kInterface, "Brightness");
        if (!value)
            return false;
        if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_INT32)) {
            bus.setError(std::string(kInterface) + ": Brightness is not a number (" +
                         g_variant_get_type_string(value.get()) + ")");
            return false;
        }
        off_ = g_variant_get_int32(value.get()) == kPanelOff;
        if (off_) {
            bus.setError(std::string(kInterface) + ": the built-in display is off (Brightness -1)");
            return false;
        }
        return true;
    }

    bool write(DesktopBus& bus, double brightness) override {
        const int percent = scaledTo(brightness, 100);
        if (!bus.call(
                kName, kPath, "org.freedesktop.DBus.Properties", "Set",
                g_variant_new("(ssv)", kInterface, "Brightness", g_variant_new_int32(percent)),
                "()", DesktopBus::kWriteTimeoutMs))
            return false;
        sent_.sent(percent);
        return true;
    }

    RouteSignal onSignal(DesktopBus&, const char* path, const char*, const char* member,
                         GVariant* parameters) override {
        auto brightness = announcedBrightness(path, member, parameters);
        if (!brightness)
            return {};
        // The panel switched off or on again: found again either way.
        if ((*brightness == kPanelOff) != off_) {
            off_ = *brightness == kPanelOff;
            return {RouteSignal::Kind::LookAgain, std::nullopt};
        }
        if (off_ || *brightness < 0 || *brightness > 100)
            return {};
        const int announced = *brightness;
        if (sent_.any([&](int p) { return range_.percentOf(range_.rawOf(p)) == announced; }))
            return {RouteSignal::Kind::Ours, std::nullopt};
        return {RouteSignal::Kind::PersonChanged, announced / 100.0};
    }

    LandingMap landingMap() const override {
        return [range = range_](double sent) {
            return PanelLanding{range.rawOf(scaledTo(sent, 100)), 0};
        };
    }

  private:
    GsdRange range_;
    bool off_ = false;
    SentValues<int> sent_;
};

}  // namespace

std::unique_ptr<DesktopBrightnessRoute> makeGnomeSettingsDaemonRoute() {
    return std::make_unique<GnomeSettingsDaemonRoute>();
}

}  // namespace platform::linux_machine
