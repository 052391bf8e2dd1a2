// A virtual laptop (sysfs-shaped files made the Linux machine's root) whose
// machine can break something in the middle of a fade: the fault runs just
// before a chosen fade step's pause, while the engine is between two writes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "linux/LinuxMachine.h"
#include "support/FuseHidraw.h"
#include "support/MainContext.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

namespace testing_support {

class FaultInjectingMachine : public platform::linux_machine::LinuxMachine {
  public:
    std::vector<std::string> lines;
    int pauses = 0;
    int faultAtPause = -1;
    std::function<void()> fault;

    void writeLog(const std::string& line) override { lines.push_back(line); }
    void sleepMicroseconds(std::uint32_t usec) override {
        if (++pauses == faultAtPause && fault)
            fault();
        LinuxMachine::sleepMicroseconds(usec);
    }
};

class FaultyLaptopTest : public ::testing::Test {
  protected:
    FaultyLaptopTest()
        : sysroot_("PLATFORM_SYSROOT", root_.path()),
          config_("XDG_CONFIG_HOME", root_ / "config"),
          noSessionBus_("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root_ / "no-session-bus"),
          noSystemBus_("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + root_ / "no-system-bus"),
          laptop(root_.path()) {
        auto m = std::make_unique<FaultInjectingMachine>();
        machine = m.get();
        platform::Machine::install(std::move(m));
    }

    // Runs `fault` just before the pause after fade step `step` (1 to 100).
    void breakAtFadeStep(int step, std::function<void()> fault) {
        machine->pauses = 0;
        machine->faultAtPause = step;
        machine->fault = std::move(fault);
    }

    bool mountHidraw(std::string* why) {
        fuse = FuseHidraw::mount(laptop.devFolder(), why);
        return fuse != nullptr;
    }

    // Turns GLib's default main context until `done` or the time is up.
    bool runUntil(const std::function<bool()>& done, double seconds = 5.0) {
        return turnMainContextUntil(done, seconds);
    }

    int loggedLines(const std::string& part) const {
        int n = 0;
        for (const auto& l : machine->lines)
            n += l.find(part) != std::string::npos;
        return n;
    }

  private:
    TempDir root_;
    ScopedEnv sysroot_;
    ScopedEnv config_;
    ScopedEnv noSessionBus_;
    ScopedEnv noSystemBus_;

  protected:
    VirtualLaptop laptop;
    FaultInjectingMachine* machine = nullptr;
    std::unique_ptr<FuseHidraw> fuse;  // unmounted before the folder goes
};

}  // namespace testing_support
