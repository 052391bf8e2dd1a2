// A virtual laptop with everything the Linux machine reads pointed at it: the
// machine's root, a settings folder, a private session bus and no system bus,
// and the Linux machine installed with its log lines kept.
#pragma once

#include "support/LoggingLinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

namespace testing_support {

struct LaptopOnLinux {
    TempDir root, config;
    ScopedEnv sysroot{"PLATFORM_SYSROOT", root.path()};
    ScopedEnv xdgConfig{"XDG_CONFIG_HOME", config.path()};
    ScopedEnv noSystemBus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root / "no-system-bus")};
    PrivateBus session;
    VirtualLaptop laptop{root.path()};
    LoggingLinuxMachine& machine = LoggingLinuxMachine::installNew();
};

}  // namespace testing_support
