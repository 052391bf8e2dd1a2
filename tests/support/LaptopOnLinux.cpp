#include "support/LaptopOnLinux.h"

#include "support/MainContext.h"

namespace testing_support {

namespace {
LoggingLinuxMachine& install(std::unique_ptr<LoggingLinuxMachine> machine) {
    auto& ref = *machine;
    platform::Machine::install(std::move(machine));
    return ref;
}
}  // namespace

LaptopOnLinux::LaptopOnLinux(SessionBus bus, std::unique_ptr<LoggingLinuxMachine> installed)
    : sysroot_("PLATFORM_SYSROOT", root.path()),
      xdgConfig_("XDG_CONFIG_HOME", config.path()),
      noSystemBus_("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root / "no-system-bus")),
      noWaylandDisplay_("WAYLAND_DISPLAY", root / "no-wayland-display"),
      laptop(root.path()),
      machine(install(std::move(installed))) {
    if (bus == SessionBus::Private)
        session.emplace();
    else
        noSessionBus_.emplace("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (root / "no-session-bus"));
}

bool LaptopOnLinux::mountHidraw(std::string* why) {
    fuse = FuseHidraw::mount(laptop.devFolder(), why);
    return fuse != nullptr;
}

bool LaptopOnLinux::runUntil(const std::function<bool()>& done, double seconds) {
    return turnMainContextUntil(done, seconds);
}

}  // namespace testing_support
