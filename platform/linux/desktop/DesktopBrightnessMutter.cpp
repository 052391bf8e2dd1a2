// GNOME 49 and later (and 47 and 48 under X11): mutter's display
// configuration sets the panel's backlight itself.
//
// Facts, from GNOME/mutter:
// - data/dbus-interfaces/org.gnome.Mutter.DisplayConfig.xml (47.0 to 50.4):
//   SetBacklight(u serial, s connector, i value); the property Backlight
//   (uaa{sv}) holds the serial, then one dictionary per monitor: connector
//   (s), active (b), and min, max, value (i) where the backlight can be set
//   this way ("if an entry is only a connector, there is no way to control it
//   via this D-Bus interface").
// - src/backends/meta-monitor-manager.c (meta_monitor_manager_handle_set_backlight,
//   47.0 and 49.0): a serial other than the current one is refused with
//   org.freedesktop.DBus.Error.InvalidArgs "Invalid backlight serial", a value
//   outside min..max with InvalidArgs "Invalid backlight value"; the serial
//   moves on when the monitors change (update_backlight with bump_serial).
//   Backlight is published again only then and after a D-Bus set: a change
//   the shell makes is not announced. In 48.0 an entry has min, max and value
//   only where the monitor has a backlight of its own (X11's RandR); the
//   native back-end has one from 49.0 (src/backends/native/meta-output-kms.c,
//   meta_output_kms_create_backlight).
// - src/backends/meta-backlight-sysfs.c (49.0): the value is the backlight's
//   own raw value, min = MAX (1, max / 100) (0 for a raw backlight of fewer
//   than 99 steps); src/backends/meta-backlight.c keeps one write in flight
//   and the newest target behind it, so any pace is taken.
// - src/backends/native/meta-kms-connector.c (make_connector_name) and
//   src/backends/meta-connector.c: a connector is named "<type>-<n>" with the
//   kernel's type names, so "eDP-1" is the DRM connector card0-eDP-1.
// The object is /org/gnome/Mutter/DisplayConfig under the same name (DisplayConfig
// is registered there by meta-monitor-manager.c).
//
// The shell follows a backlight that changed (GNOME/gnome-shell 49.0 to 50.4,
// js/misc/brightnessManager.js, syncWithBacklight) and writes it back as
// min + (max − min)·relative into the backlight's integer property, which
// truncates: the panel may end one raw step under the value sent. Setting the
// panel's connector here, rather than the shell's automatic brightness target
// (org.gnome.Shell.Brightness), keeps the person's slider and keys working
// (49.0 and 49.1 lock the slider while a target is set, _sync), moves only the
// panel (the shell applies a target to every monitor with a backlight, HDR
// external monitors too), and leaves nothing behind when this process dies
// (a target stays set until the shell ends: shellDBus.js, 50.4, has no watch
// on its caller). From 49.3 the shell's BrightnessChanged (commit 961c213a,
// sent on the person's 'user-update' only) tells of the person's change at
// once; before, the backlight's readings do.
#include <algorithm>

#include "linux/bus/PropertyChanges.h"
#include "linux/desktop/DesktopBrightnessRoute.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kName = "org.gnome.Mutter.DisplayConfig";
constexpr const char* kPath = "/org/gnome/Mutter/DisplayConfig";
constexpr const char* kInterface = "org.gnome.Mutter.DisplayConfig";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr const char* kShellPath = "/org/gnome/Shell/Brightness";
constexpr const char* kShellInterface = "org.gnome.Shell.Brightness";

// The compositor's name of a DRM connector: "card0-eDP-1" is "eDP-1".
std::string compositorName(const std::string& drmConnector) {
    const auto dash = drmConnector.find('-');
    if (drmConnector.rfind("card", 0) != 0 || dash == std::string::npos)
        return drmConnector;
    return drmConnector.substr(dash + 1);
}

struct Backlight {
    guint32 serial = 0;
    int min = 0;
    int max = 0;
};

int rawFor(const Backlight& b, double brightness) {
    return std::clamp(scaledTo(brightness, b.max), b.min, b.max);
}

// The panel's entry in a Backlight value, when it can be set here.
std::optional<Backlight> entryFor(GVariant* value, const std::string& connector) {
    if (!value || !g_variant_is_of_type(value, G_VARIANT_TYPE("(uaa{sv})")))
        return std::nullopt;
    Backlight b;
    GVariant* entries = nullptr;
    g_variant_get(value, "(u@aa{sv})", &b.serial, &entries);
    std::optional<Backlight> found;
    GVariantIter iter;
    g_variant_iter_init(&iter, entries);
    while (GVariant* entry = g_variant_iter_next_value(&iter)) {
        const gchar* name = nullptr;
        auto min = lookupInt(entry, "min");
        auto max = lookupInt(entry, "max");
        if (g_variant_lookup(entry, "connector", "&s", &name) && connector == name && min && max &&
            *max > *min) {
            b.min = *min;
            b.max = *max;
            found = b;
        }
        g_variant_unref(entry);
    }
    g_variant_unref(entries);
    return found;
}

class MutterBacklightRoute : public DesktopBrightnessRoute {
  public:
    BuiltinBrightnessWay way() const override { return BuiltinBrightnessWay::MutterDisplayConfig; }
    const char* busName() const override { return kName; }
    // Mutter does not announce the shell's changes; the backlight's own
    // change events and readings tell of them.
    bool announcesChanges() const override { return false; }

    LandingMap landingMap() const override {
        return [b = backlight_](double sent) { return PanelLanding{rawFor(b, sent), 1}; };
    }

    bool attach(DesktopBus& bus, const BuiltinPanel& panel) override {
        connector_ = compositorName(panel.drmConnector);
        auto info = bus.describe(kName, kPath, kInterface);
        if (!info || !offersMethod(info.get(), "SetBacklight", "usi") ||
            !offersProperty(info.get(), "Backlight", "(uaa{sv})")) {
            if (info)
                bus.setError(std::string(kInterface) + " lacks SetBacklight or Backlight");
            return false;
        }
        return fetch(bus);
    }

    bool write(DesktopBus& bus, double brightness) override {
        if (set(bus, rawFor(backlight_, brightness)))
            return true;
        // Refused as out of date: the monitors changed since the serial was
        // read. Read it again and try once more.
        const guint32 before = backlight_.serial;
        if (!bus.lastErrorNamed(kInvalidArgs) || !fetch(bus) || backlight_.serial == before)
            return false;
        return set(bus, rawFor(backlight_, brightness));
    }

    RouteSignal onSignal(DesktopBus&, const char* path, const char* interface, const char* member,
                         GVariant* parameters) override {
        // The shell runs in mutter's process, so its signals come from the
        // same connection: from 49.3 it tells of the person's slider and keys.
        if (g_strcmp0(path, kShellPath) == 0 && g_strcmp0(interface, kShellInterface) == 0 &&
            g_strcmp0(member, "BrightnessChanged") == 0)
            return {RouteSignal::Kind::PersonChanged, std::nullopt};
        if (g_strcmp0(path, kPath) != 0 || g_strcmp0(member, "PropertiesChanged") != 0)
            return {};
        auto changes = readPropertyChanges(parameters, kInterface);
        Variant value = changes ? changes->value("Backlight", "(uaa{sv})") : nullptr;
        RouteSignal meaning;
        if (value) {
            // Every write of ours changes it too: only a panel that is gone
            // needs the route found again.
            if (auto entry = entryFor(value.get(), connector_))
                backlight_ = *entry;
            else
                meaning.kind = RouteSignal::Kind::LookAgain;
        }
        return meaning;
    }

  private:
    bool fetch(DesktopBus& bus) {
        Variant value = bus.property(kName, kPath, kInterface, "Backlight");
        if (!value)
            return false;
        auto entry = entryFor(value.get(), connector_);
        if (!entry) {
            bus.setError(std::string(kInterface) + " cannot set the backlight of " +
                         (connector_.empty() ? "the built-in panel" : connector_));
            return false;
        }
        backlight_ = *entry;
        return true;
    }

    bool set(DesktopBus& bus, int value) {
        return bus
            .call(kName, kPath, kInterface, "SetBacklight",
                  g_variant_new("(usi)", backlight_.serial, connector_.c_str(), value), "()",
                  DesktopBus::kWriteTimeoutMs)
            .get();
    }

    std::string connector_;
    Backlight backlight_;
};

}  // namespace

std::unique_ptr<DesktopBrightnessRoute> makeMutterBacklightRoute() {
    return std::make_unique<MutterBacklightRoute>();
}

}  // namespace platform::linux_machine
