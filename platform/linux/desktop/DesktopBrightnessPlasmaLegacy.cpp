// KDE Plasma 5.27 to 6.1: powerdevil's brightness action.
//
// Facts, from KDE/powerdevil:
// - daemon/actions/bundled/org.kde.Solid.PowerManagement.Actions.BrightnessControl.xml
//   (v5.27.11, the same in v6.0.0; v6.1.5 adds brightnessMin): setBrightnessSilent(i)
//   sets the brightness without the on-screen indicator, brightnessMax() gives
//   the top of the range (i); signals brightnessChanged(i) and brightnessMaxChanged(i).
// - daemon/powerdevilactionpool.cpp (v5.27.11) puts each action at
//   /org/kde/Solid/PowerManagement/Actions/<action id>, here BrightnessControl;
//   daemon/powerdevilapp.cpp owns the name org.kde.Solid.PowerManagement.
// - daemon/actions/bundled/brightnesscontrol.cpp (v5.27.11): the value is the
//   backlight's own, 0 to brightnessMax, handed on unchanged; brightnessChanged
//   carries the value of every change of the screen's backlight
//   (onBrightnessChangedFromBackend), without saying who made it, and
//   brightnessMaxChanged with the range's top along with it.
// - daemon/backends/upower/powerdevilupowerbackend.cpp (v5.27.11, setBrightness):
//   every value starts one KAuth helper job of its own (a polkit check), which
//   animates the backlight to it over brightnessAnimationDuration, 250 ms by
//   default (PowerDevilSettings.kcfg), where brightnessMax is 100 or more;
//   the value is announced when the job returns, and the backlight's uevents
//   are ignored while the animation runs. Values faster than that pile up
//   jobs that each animate from wherever the last one got.
// - daemon/actions/bundled/dimdisplay.cpp (v5.27.11, onIdleTimeout): the idle
//   dim sets qRound(0.3 × the brightness before), and on the person's return
//   (onWakeupFromIdle) the brightness before. Nothing else tells of it: no
//   IdleHint (nothing in daemon/ calls logind's SetIdleHint), and
//   kscreenlocker's GetSessionIdleTime answers NotSupported on Wayland
//   (interface.cpp, v5.27.11).
#include "linux/desktop/DesktopBrightnessRoute.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kName = "org.kde.Solid.PowerManagement";
constexpr const char* kPath = "/org/kde/Solid/PowerManagement/Actions/BrightnessControl";
constexpr const char* kInterface = "org.kde.Solid.PowerManagement.Actions.BrightnessControl";
constexpr std::chrono::milliseconds kAnimation{250};

class PlasmaPowerManagementRoute : public DesktopBrightnessRoute {
  public:
    BuiltinBrightnessWay way() const override {
        return BuiltinBrightnessWay::PlasmaPowerManagement;
    }
    const char* busName() const override { return kName; }
    bool announcesChanges() const override { return true; }
    std::chrono::milliseconds pace() const override { return kAnimation; }

    bool attach(DesktopBus& bus, const BuiltinPanel&) override {
        auto info = bus.describe(kName, kPath, kInterface);
        if (!info || !offersMethod(info.get(), "setBrightnessSilent", "i") ||
            !offersMethod(info.get(), "brightnessMax", "")) {
            if (info)
                bus.setError(std::string(kInterface) +
                             " lacks setBrightnessSilent or brightnessMax");
            return false;
        }
        Variant max = bus.call(kName, kPath, kInterface, "brightnessMax", nullptr, "(i)");
        if (!max)
            return false;
        g_variant_get(max.get(), "(i)", &max_);
        if (max_ <= 0) {
            bus.setError(std::string(kInterface) + " has no brightness range");
            return false;
        }
        dimmedFrom_.reset();
        return true;
    }

    bool write(DesktopBus& bus, double brightness) override {
        const int value = scaledTo(brightness, max_);
        if (!bus.call(kName, kPath, kInterface, "setBrightnessSilent", g_variant_new("(i)", value),
                      "()", DesktopBus::kWriteTimeoutMs))
            return false;
        sent_.sent(value);
        shown_ = value;
        return true;
    }

    RouteSignal onSignal(DesktopBus&, const char* path, const char* interface, const char* member,
                         GVariant* parameters) override {
        if (g_strcmp0(path, kPath) != 0 || g_strcmp0(interface, kInterface) != 0)
            return {};
        // Sent with every brightnessChanged: only a new top means a new range.
        if (g_strcmp0(member, "brightnessMaxChanged") == 0) {
            gint32 max = max_;
            if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(i)")))
                g_variant_get(parameters, "(i)", &max);
            return max != max_ ? RouteSignal{RouteSignal::Kind::LookAgain, std::nullopt}
                               : RouteSignal{};
        }
        if (g_strcmp0(member, "brightnessChanged") != 0 ||
            !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(i)")))
            return {};
        gint32 value = 0;
        g_variant_get(parameters, "(i)", &value);
        const int before = shown_;
        shown_ = value;
        if (sent_.contains(value) || (dimmedFrom_ && value == *dimmedFrom_)) {
            dimmedFrom_.reset();
            return {RouteSignal::Kind::Ours, std::nullopt};
        }
        const double fraction = static_cast<double>(value) / max_;
        if (before > 0 && value == powerdevilIdleDim(before)) {
            dimmedFrom_ = before;
            return {RouteSignal::Kind::Dimmed, fraction};
        }
        dimmedFrom_.reset();
        return {RouteSignal::Kind::PersonChanged, fraction};
    }

    LandingMap landingMap() const override {
        return [max = max_](double sent) { return PanelLanding{scaledTo(sent, max), 0}; };
    }

  private:
    gint32 max_ = 0;
    int shown_ = 0;  // what powerdevil last said or was sent, in its own units
    std::optional<int> dimmedFrom_;
    SentValues<int> sent_;
};

}  // namespace

std::unique_ptr<DesktopBrightnessRoute> makePlasmaPowerManagementRoute() {
    return std::make_unique<PlasmaPowerManagementRoute>();
}

}  // namespace platform::linux_machine
