// GNOME 49 and later: the shell decides the built-in display's brightness.
//
// Facts, from GNOME/gnome-shell (tags 49.0 to 50.4):
// - data/dbus-interfaces/org.gnome.Shell.Brightness.xml: SetAutoBrightnessTarget(d)
//   takes the ideal relative brightness 0 to 1; HasBrightnessControl (b) says
//   whether any display's brightness can be controlled; from 49.3 on (commit
//   961c213a) the signal BrightnessChanged() says the person changed it.
// - js/ui/shellDBus.js: the object /org/gnome/Shell/Brightness under the name
//   org.gnome.Shell.Brightness; BrightnessChanged is sent on the manager's
//   'user-update' only.
// - js/misc/brightnessManager.js: the target starts at -1.0 and a negative
//   target means none (the person's slider alone decides). 49.0 to 49.2 put the
//   target itself on the backlight; from 49.3 on the slider is a bias:
//   clamp(target + slider - 0.5, 0, 1), and idle dimming caps either.
//   'user-update' follows the person's slider or keys, never a target.
// GNOME/gnome-settings-daemon (50.0, plugins/power/gsd-power-manager.c), the
// shell's other client of the target, sends -1.0 when it stops steering.
// A new shell (the name's new owner) starts without a target: DesktopBrightness
// writes the last value again when a route's owner changes.
#include <algorithm>

#include "linux/DesktopBrightnessRoute.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kName = "org.gnome.Shell.Brightness";
constexpr const char* kPath = "/org/gnome/Shell/Brightness";
constexpr const char* kInterface = "org.gnome.Shell.Brightness";
constexpr double kNoTarget = -1.0;

class GnomeShellRoute : public DesktopBrightnessRoute {
  public:
    BuiltinBrightnessWay way() const override { return BuiltinBrightnessWay::GnomeShell; }
    const char* busName() const override { return kName; }
    bool writesATarget() const override { return true; }

    bool attach(DesktopBus& bus, const BuiltinPanel&) override {
        auto info = bus.describe(kName, kPath, kInterface);
        if (!info || !offersMethod(info.get(), "SetAutoBrightnessTarget", "d") ||
            !offersProperty(info.get(), "HasBrightnessControl", "b")) {
            if (info)
                bus.setError(std::string(kInterface) + " lacks SetAutoBrightnessTarget");
            return false;
        }
        Variant control = bus.property(kName, kPath, kInterface, "HasBrightnessControl");
        if (!control || !g_variant_is_of_type(control.get(), G_VARIANT_TYPE_BOOLEAN))
            return false;
        if (!g_variant_get_boolean(control.get())) {
            bus.setError(std::string(kInterface) + ": HasBrightnessControl is false");
            return false;
        }
        return true;
    }

    bool write(DesktopBus& bus, double brightness) override {
        if (!send(bus, std::clamp(brightness, 0.0, 1.0)))
            return false;
        targetSet_ = true;
        return true;
    }

    void release(DesktopBus& bus) override {
        if (targetSet_ && send(bus, kNoTarget))
            targetSet_ = false;
    }

    RouteSignal onSignal(DesktopBus&, const char* path, const char* interface, const char* member,
                         GVariant*) override {
        if (g_strcmp0(path, kPath) != 0)
            return {};
        if (g_strcmp0(interface, kInterface) == 0 && g_strcmp0(member, "BrightnessChanged") == 0)
            return {RouteSignal::Kind::PersonChanged, std::nullopt};
        if (g_strcmp0(member, "PropertiesChanged") == 0)
            return {RouteSignal::Kind::LookAgain, std::nullopt};  // HasBrightnessControl
        return {};
    }

  private:
    bool send(DesktopBus& bus, double target) {
        return bus
            .call(kName, kPath, kInterface, "SetAutoBrightnessTarget", g_variant_new("(d)", target),
                  "()", DesktopBus::kWriteTimeoutMs)
            .get();
    }

    bool targetSet_ = false;
};

}  // namespace

std::unique_ptr<DesktopBrightnessRoute> makeGnomeShellRoute() {
    return std::make_unique<GnomeShellRoute>();
}

}  // namespace platform::linux_machine
