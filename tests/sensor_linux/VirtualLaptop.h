// A virtual laptop for the light sensor tests: a sysfs-shaped temporary
// folder made the machine's root (PLATFORM_SYSROOT, read once per process, so
// the laptop must be made before anything looks at the root), and no system
// bus unless a test starts one.
#pragma once

#include <filesystem>
#include <string>

#include "support/TempDir.h"
#include "support/VirtualLaptop.h"
#include "support/Waiting.h"

// The light sensor answers from what its sources' thread holds, which takes up
// a change within about a second: true once `read()` gives `expected`.
template <typename Read, typename Value>
bool soon(Read read, const Value& expected) {
    // A change stands after up to 5 s (SteadyLight.h) and is read once a second.
    return testing_support::waitFor([&] { return read() == expected; }, 8.0);
}

class VirtualLaptop {
  public:
    VirtualLaptop()
        : root_(),
          sysroot_("PLATFORM_SYSROOT", root_.path()),
          noSystemBus_("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root_ / "no-system-bus")) {}

    const std::string& root() const { return root_.path(); }
    std::string iioDevice(const std::string& name) const {
        return root_ / ("sys/bus/iio/devices/" + name);
    }
    // Writes `content` to `file` of IIO device `name`, creating the device.
    void writeIIO(const std::string& name, const std::string& file, const std::string& content) {
        std::filesystem::create_directories(iioDevice(name));
        testing_support::writeFile(iioDevice(name) + "/" + file, content);
    }
    void removeIIO(const std::string& name) { std::filesystem::remove_all(iioDevice(name)); }
    // The SMC's light file, on platform device applesmc.768 unless
    // registerSMC() named another.
    std::string smcLight() const { return root_ / ("sys/devices/platform/" + smc_ + "/light"); }
    void writeSMCLight(const std::string& content) {
        testing_support::writeFile(smcLight(), content);
    }
    // The SMC as the driver registers it, as platform device `device`.
    void registerSMC(const std::string& device) {
        smc_ = device;
        testing_support::VirtualLaptop(root()).registerSMC(device);
    }

  private:
    testing_support::TempDir root_;
    testing_support::ScopedEnv sysroot_;
    testing_support::ScopedEnv noSystemBus_;
    std::string smc_ = "applesmc.768";
};
