// A virtual laptop in a temporary folder, made the Linux machine's file
// system root, with the machine's log lines kept for inspection, no session
// bus (so no desktop's brightness service) and no Wayland display.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/FuseHidraw.h"
#include "support/LoggingLinuxMachine.h"
#include "support/MainContext.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

namespace testing_support {

class LaptopTest : public ::testing::Test {
  protected:
    LaptopTest()
        : sysroot_("PLATFORM_SYSROOT", dir_.path()),
          noSessionBus_("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir_ / "no-session-bus")),
          noWaylandDisplay_("WAYLAND_DISPLAY", dir_ / "no-wayland-display"),
          laptop(dir_.path()),
          machine(&LoggingLinuxMachine::installNew()) {}

    // Mounts the virtual hidraw nodes, or says why the test cannot run.
    bool mountHidraw(std::string* why) {
        fuse = FuseHidraw::mount(laptop.devFolder(), why);
        return fuse != nullptr;
    }

    // Turns GLib's default main context until `done` or the time is up.
    bool runUntil(const std::function<bool()>& done, double seconds = 5.0) {
        return turnMainContextUntil(done, seconds);
    }

    bool logged(const std::string& part) const { return machine->logged(part); }

  private:
    TempDir dir_;
    ScopedEnv sysroot_;
    // No desktop of the machine's own is asked; a test brings a PrivateBus.
    ScopedEnv noSessionBus_;
    ScopedEnv noWaylandDisplay_;

  protected:
    VirtualLaptop laptop;
    LoggingLinuxMachine* machine = nullptr;
    std::unique_ptr<FuseHidraw> fuse;  // unmounted before the folder goes
};

#define SKIP_WITHOUT_FUSE()                                        \
    do {                                                           \
        std::string why_;                                          \
        if (!mountHidraw(&why_))                                   \
            GTEST_SKIP() << "virtual hidraw needs FUSE: " << why_; \
    } while (0)

}  // namespace testing_support
