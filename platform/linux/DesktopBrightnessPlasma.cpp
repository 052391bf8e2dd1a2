// KDE Plasma 6.2 and later: powerdevil's org.kde.ScreenBrightness.
//
// Facts, from KDE/powerdevil (tags v6.2.0 to v6.7.4; the interface files are
// the same in all of them):
// - daemon/dbus/org.kde.ScreenBrightness.xml: the object /org/kde/ScreenBrightness
//   lists its displays in DisplaysDBusNames (as); BrightnessChanged(s display,
//   i brightness, s source_client_name, s source_client_context); DisplayAdded,
//   DisplayRemoved and BrightnessRangeChanged when the displays change.
// - daemon/dbus/org.kde.ScreenBrightness.Display.xml: each display is a child
//   object /org/kde/ScreenBrightness/<name> with IsInternal (b, true for a
//   laptop's panel), MaxBrightness (i) and SetBrightnessWithContext(i 0 to
//   MaxBrightness, u flags, s context); flag 0x1 suppresses the on-screen indicator.
// - daemon/powerdevilapp.cpp owns the name org.kde.ScreenBrightness;
//   daemon/powerdevilscreenbrightnessagent.cpp gives as source_client_name the
//   caller's unique bus name and passes the context through.
// - daemon/controllers/screenbrightnesscontroller.cpp (v6.6.0): a value is kept
//   within the display's range, and BrightnessChanged is sent only when the
//   value changes. Powerdevil's own changes carry the source "(internal)", with
//   the context "dimming" (idle dimming), "profile_brightness" (a power
//   profile's brightness) or "brightness_key" (the person's keys, from
//   daemon/powerdevilscreenbrightnessagent.cpp); a change it only observed
//   carries no source. In v6.2.0 dimming and profile changes carry no source.
#include <errno.h>

#include "linux/DesktopBrightnessRoute.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kName = "org.kde.ScreenBrightness";
constexpr const char* kPath = "/org/kde/ScreenBrightness";
constexpr const char* kInterface = "org.kde.ScreenBrightness";
constexpr const char* kDisplayInterface = "org.kde.ScreenBrightness.Display";
constexpr guint32 kSuppressIndicator = 0x1;

// A change that powerdevil reports and that a person made: its keys, its
// slider, another program; never its idle dimming, its power profiles, or
// this process's own writes.
bool madeByAPerson(const std::string& source, const std::string& context,
                   const std::string& ownName) {
    if (source.empty() || source == ownName)
        return false;
    if (source == "(internal)")
        return context != "dimming" && context != "profile_brightness";
    return true;
}

class PlasmaScreenBrightnessRoute : public DesktopBrightnessRoute {
  public:
    BuiltinBrightnessWay way() const override {
        return BuiltinBrightnessWay::PlasmaScreenBrightness;
    }
    const char* busName() const override { return kName; }

    bool attach(DesktopBus& bus, const BuiltinPanel&) override {
        display_.clear();
        auto root = bus.describe(kName, kPath, kInterface);
        if (!root || !offersProperty(root.get(), "DisplaysDBusNames", "as"))
            return false;
        Variant names = bus.property(kName, kPath, kInterface, "DisplaysDBusNames");
        if (!names || !g_variant_is_of_type(names.get(), G_VARIANT_TYPE("as")))
            return false;
        GVariantIter iter;
        const gchar* name = nullptr;
        g_variant_iter_init(&iter, names.get());
        while (g_variant_iter_next(&iter, "&s", &name)) {
            if (internalDisplay(bus, name))
                return true;
        }
        bus.setError(std::string(kName) + " lists no internal display");
        return false;
    }

    bool write(DesktopBus& bus, double brightness) override {
        return bus
            .call(kName, std::string(kPath) + "/" + display_, kDisplayInterface,
                  "SetBrightnessWithContext",
                  g_variant_new("(ius)", scaledTo(brightness, max_), kSuppressIndicator,
                                program_invocation_short_name),
                  "()", DesktopBus::kWriteTimeoutMs)
            .get();
    }

    RouteSignal onSignal(DesktopBus& bus, const char* path, const char* interface,
                         const char* member, GVariant* parameters) override {
        if (g_strcmp0(path, kPath) != 0)
            return {};
        const std::string signal = member;
        if (g_strcmp0(interface, kInterface) == 0 && signal == "BrightnessChanged" &&
            g_variant_is_of_type(parameters, G_VARIANT_TYPE("(siss)"))) {
            const gchar *display = nullptr, *source = nullptr, *context = nullptr;
            gint32 value = 0;
            g_variant_get(parameters, "(&si&s&s)", &display, &value, &source, &context);
            if (display_ != display || !madeByAPerson(source, context, bus.uniqueName()))
                return {};
            return {RouteSignal::Kind::PersonChanged, static_cast<double>(value) / max_};
        }
        if (signal == "DisplayAdded" || signal == "DisplayRemoved" ||
            signal == "BrightnessRangeChanged" || signal == "PropertiesChanged") {
            return {RouteSignal::Kind::LookAgain, std::nullopt};
        }
        return {};
    }

  private:
    // True, with the display kept, when `name` is the internal panel and
    // offers what a write needs.
    bool internalDisplay(DesktopBus& bus, const std::string& name) {
        const std::string path = std::string(kPath) + "/" + name;
        auto info = bus.describe(kName, path, kDisplayInterface);
        if (!info || !offersMethod(info.get(), "SetBrightnessWithContext", "ius") ||
            !offersProperty(info.get(), "IsInternal", "b") ||
            !offersProperty(info.get(), "MaxBrightness", "i")) {
            return false;
        }
        Variant all = bus.properties(kName, path, kDisplayInterface);
        const auto internal = lookupBool(all.get(), "IsInternal");
        const auto max = lookupInt(all.get(), "MaxBrightness");
        if (!internal || !*internal || !max || *max <= 0)
            return false;
        display_ = name;
        max_ = *max;
        return true;
    }

    std::string display_;
    int max_ = 1;
};

}  // namespace

std::unique_ptr<DesktopBrightnessRoute> makePlasmaScreenBrightnessRoute() {
    return std::make_unique<PlasmaScreenBrightnessRoute>();
}

}  // namespace platform::linux_machine
