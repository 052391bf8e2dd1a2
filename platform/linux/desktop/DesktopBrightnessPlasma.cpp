// KDE Plasma 6.2 and later: powerdevil's org.kde.ScreenBrightness.
//
// Facts, from KDE/powerdevil (tags v6.2.0 to v6.7.4; the interface files are
// the same in all of them):
// - daemon/dbus/org.kde.ScreenBrightness.xml: the object /org/kde/ScreenBrightness
//   lists its displays in DisplaysDBusNames (as), KWin's outputs first
//   (daemon/controllers/screenbrightnesscontroller.cpp, the detectors' order);
//   BrightnessChanged(s display, i brightness, s source_client_name,
//   s source_client_context) goes to every listener for every value;
//   DisplayAdded, DisplayRemoved and BrightnessRangeChanged when the displays change.
// - daemon/dbus/org.kde.ScreenBrightness.Display.xml: each display is a child
//   object /org/kde/ScreenBrightness/<name> with IsInternal (b, true for a
//   laptop's panel), MaxBrightness (i) and SetBrightnessWithContext(i 0 to
//   MaxBrightness, u flags, s context); flag 0x1 suppresses the on-screen indicator.
// - daemon/powerdevilscreenbrightnessagent.cpp: the D-Bus value is the
//   controller's less its minimum (MaxBrightness = max − min, SetBrightness
//   adds the minimum back), the minimum being 1 for a backlight
//   (controllers/backlightbrightness.cpp, knownSafeMinBrightness) and 0 for
//   KWin's outputs, whose scale is 0 to 10000 (controllers/kwinbrightness.cpp);
//   KWin puts a value b of that scale on the backlight as
//   round(1 + b·(max − 1)). It gives as source_client_name the caller's unique
//   bus name and passes the context through.
// - daemon/controllers/backlightbrightness.cpp and .h: a change of 100 raw
//   steps or more is animated over 250 ms by the helper, and a value that
//   comes meanwhile waits for the running job.
// - daemon/controllers/screenbrightnesscontroller.cpp: BrightnessChanged is sent
//   only when the value changes. Powerdevil's own changes carry the source
//   "(internal)", with the context "dimming" (idle dimming),
//   "profile_brightness" (a power profile's brightness) or "brightness_key"
//   (the person's keys); a change it only observed carries no source. From
//   v6.3.0 the idle dim is a multiplier on what the hardware gets
//   (setDimmingRatio), so the D-Bus value does not change and nothing is
//   announced; in v6.2.0 the idle dim (actions/bundled/dimdisplay.cpp) sets
//   qRound(0.3 × the brightness before) without a source, and the brightness
//   before on the person's return.
#include <errno.h>

#include <cmath>

#include "linux/desktop/DesktopBrightnessRoute.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kName = "org.kde.ScreenBrightness";
constexpr const char* kPath = "/org/kde/ScreenBrightness";
constexpr const char* kInterface = "org.kde.ScreenBrightness";
constexpr const char* kDisplayInterface = "org.kde.ScreenBrightness.Display";
constexpr guint32 kSuppressIndicator = 0x1;
constexpr int kKWinScale = 10000;
constexpr std::chrono::milliseconds kAnimation{250};

// Who changed the panel, by what powerdevil says of a change.
enum class Changer { ThisProcess, Person, IdleDim, Profile, Unknown };

Changer changerOf(const std::string& source, const std::string& context,
                  const std::string& ownName) {
    if (source == ownName)
        return Changer::ThisProcess;
    if (source.empty())
        return Changer::Unknown;  // observed, or v6.2's dimming and profiles
    if (source == "(internal)" && context == "dimming")
        return Changer::IdleDim;
    if (source == "(internal)" && context == "profile_brightness")
        return Changer::Profile;
    return Changer::Person;  // its keys, its slider, another program
}

class PlasmaScreenBrightnessRoute : public DesktopBrightnessRoute {
  public:
    BuiltinBrightnessWay way() const override {
        return BuiltinBrightnessWay::PlasmaScreenBrightness;
    }
    const char* busName() const override { return kName; }
    bool announcesChanges() const override { return true; }
    std::chrono::milliseconds pace() const override { return kAnimation; }

    bool attach(DesktopBus& bus, const BuiltinPanel& panel) override {
        display_.clear();
        panelMax_ = panel.maxBrightness;
        dimmedFrom_.reset();
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
        const int value = scaledTo(brightness, max_);
        if (!bus.call(
                kName, std::string(kPath) + "/" + display_, kDisplayInterface,
                "SetBrightnessWithContext",
                g_variant_new("(ius)", value, kSuppressIndicator, program_invocation_short_name),
                "()", DesktopBus::kWriteTimeoutMs))
            return false;
        sent_.sent(value);
        shown_ = value;
        return true;
    }

    LandingMap landingMap() const override {
        return [max = max_, panelMax = panelMax_](double sent) {
            const int value = scaledTo(sent, max);
            if (panelMax > 1 && max == panelMax - 1)  // a backlight, less its minimum of 1
                return PanelLanding{value + 1, 0};
            if (panelMax > 1 && max == kKWinScale)  // KWin's output
                return PanelLanding{std::llround(1.0 + value / double(kKWinScale) * (panelMax - 1)),
                                    1};
            return PanelLanding{panelMax > 0 ? std::llround(double(value) / max * panelMax) : value,
                                1};
        };
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
            if (display_ != display)
                return {};
            return judge(value, changerOf(source, context, bus.uniqueName()));
        }
        if (signal == "DisplayAdded" || signal == "DisplayRemoved" ||
            signal == "BrightnessRangeChanged" || signal == "PropertiesChanged") {
            return {RouteSignal::Kind::LookAgain, std::nullopt};
        }
        return {};
    }

  private:
    RouteSignal judge(int value, Changer changer) {
        const int before = shown_;
        shown_ = value;
        const double fraction = static_cast<double>(value) / max_;
        if (changer == Changer::ThisProcess || (dimmedFrom_ && value == *dimmedFrom_) ||
            (changer != Changer::Person && sent_.contains(value))) {
            dimmedFrom_.reset();
            return {RouteSignal::Kind::Ours, std::nullopt};
        }
        if (changer == Changer::Person) {
            dimmedFrom_.reset();
            return {RouteSignal::Kind::PersonChanged, fraction};
        }
        if (changer == Changer::IdleDim ||
            (changer == Changer::Unknown && before > 0 && value == powerdevilIdleDim(before))) {
            if (!dimmedFrom_)
                dimmedFrom_ = before;
            return {RouteSignal::Kind::Dimmed, fraction};
        }
        return {};  // observed, or a power profile's: the next write puts the curve back
    }

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
    long long panelMax_ = 0;
    int shown_ = 0;  // what powerdevil last said or was sent, in its own units
    std::optional<int> dimmedFrom_;
    SentValues<int> sent_;
};

}  // namespace

std::unique_ptr<DesktopBrightnessRoute> makePlasmaScreenBrightnessRoute() {
    return std::make_unique<PlasmaScreenBrightnessRoute>();
}

}  // namespace platform::linux_machine
