// KDE Plasma 5.27 to 6.1: powerdevil's brightness action.
//
// Facts, from KDE/powerdevil:
// - daemon/actions/bundled/org.kde.Solid.PowerManagement.Actions.BrightnessControl.xml
//   (v5.27.11, the same in v6.0.0; v6.1.5 adds brightnessMin): setBrightnessSilent(i)
//   sets the brightness without the on-screen indicator, brightnessMax() gives
//   the top of the range (i); signal brightnessMaxChanged(i).
// - daemon/powerdevilactionpool.cpp (v5.27.11) puts each action at
//   /org/kde/Solid/PowerManagement/Actions/<action id>, here BrightnessControl;
//   daemon/powerdevilapp.cpp owns the name org.kde.Solid.PowerManagement.
// - daemon/actions/bundled/brightnesscontrol.cpp (v5.27.11, v6.1.5): the value
//   is the backlight's own, 0 to brightnessMax, handed on unchanged.
// Its brightnessChanged signal does not say who made a change, so this route
// reports no person's change.
#include "linux/DesktopBrightnessRoute.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kName = "org.kde.Solid.PowerManagement";
constexpr const char* kPath = "/org/kde/Solid/PowerManagement/Actions/BrightnessControl";
constexpr const char* kInterface = "org.kde.Solid.PowerManagement.Actions.BrightnessControl";

class PlasmaPowerManagementRoute : public DesktopBrightnessRoute {
  public:
    BuiltinBrightnessWay way() const override {
        return BuiltinBrightnessWay::PlasmaPowerManagement;
    }
    const char* busName() const override { return kName; }

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
        return true;
    }

    bool write(DesktopBus& bus, double brightness) override {
        return bus
            .call(kName, kPath, kInterface, "setBrightnessSilent",
                  g_variant_new("(i)", scaledTo(brightness, max_)), "()",
                  DesktopBus::kWriteTimeoutMs)
            .get();
    }

    RouteSignal onSignal(DesktopBus&, const char* path, const char*, const char* member,
                         GVariant*) override {
        if (g_strcmp0(path, kPath) == 0 && g_strcmp0(member, "brightnessMaxChanged") == 0)
            return {RouteSignal::Kind::LookAgain, std::nullopt};
        return {};
    }

  private:
    gint32 max_ = 0;
};

}  // namespace

std::unique_ptr<DesktopBrightnessRoute> makePlasmaPowerManagementRoute() {
    return std::make_unique<PlasmaPowerManagementRoute>();
}

}  // namespace platform::linux_machine
