// A virtual laptop with everything the Linux machine reads pointed at it: the
// machine's root (PLATFORM_SYSROOT, read once per process, so the laptop is
// made before anything looks at the root), a settings folder, no system bus
// and no Wayland display unless a test brings one, and a session bus: a
// private one, or none at all (so no desktop's brightness service is asked).
// The Linux machine is installed on it with its log lines kept; a test that
// must make its files or buses first installs another one later.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "support/FuseHidraw.h"
#include "support/LoggingLinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

namespace testing_support {

class LaptopOnLinux {
  public:
    enum class SessionBus { Private, None };

    explicit LaptopOnLinux(
        SessionBus bus = SessionBus::Private,
        std::unique_ptr<LoggingLinuxMachine> installed = std::make_unique<LoggingLinuxMachine>());
    LaptopOnLinux(const LaptopOnLinux&) = delete;
    LaptopOnLinux& operator=(const LaptopOnLinux&) = delete;

    // Mounts the virtual hidraw nodes, or says why the test cannot run.
    bool mountHidraw(std::string* why);
    // Turns GLib's default main context until `done` or the time is up.
    bool runUntil(const std::function<bool()>& done, double seconds = 5.0);
    bool logged(const std::string& part) const { return machine.logged(part); }
    int loggedLines(const std::string& part) const { return machine.count(part); }

    TempDir root, config;

  private:
    ScopedEnv sysroot_, xdgConfig_, noSystemBus_, noWaylandDisplay_;
    std::optional<ScopedEnv> noSessionBus_;

  public:
    std::optional<PrivateBus> session;
    VirtualLaptop laptop;
    LoggingLinuxMachine& machine;
    std::unique_ptr<FuseHidraw> fuse;  // unmounted before the folder goes
};

// The same laptop as a test fixture, without a session bus: a test brings
// its desktop's bus itself.
class LaptopTest : public ::testing::Test, protected LaptopOnLinux {
  protected:
    explicit LaptopTest(
        SessionBus bus = SessionBus::None,
        std::unique_ptr<LoggingLinuxMachine> installed = std::make_unique<LoggingLinuxMachine>())
        : LaptopOnLinux(bus, std::move(installed)) {}
};

#define SKIP_WITHOUT_FUSE()                                        \
    do {                                                           \
        std::string why_;                                          \
        if (!mountHidraw(&why_))                                   \
            GTEST_SKIP() << "virtual hidraw needs FUSE: " << why_; \
    } while (0)

}  // namespace testing_support
