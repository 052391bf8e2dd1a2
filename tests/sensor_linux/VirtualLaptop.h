// A virtual laptop for the light sensor tests: a sysfs-shaped temporary
// folder made the machine's root (PLATFORM_SYSROOT, read once per process, so
// the laptop must be made before anything looks at the root), and no system
// bus unless a test starts one.
#pragma once

#include <filesystem>
#include <string>

#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

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
    void writeSMCLight(const std::string& content) { testing_support::writeFile(smcLight(), content); }
    // Registers the SMC as platform device `device` announcing the driver in
    // its uevent, and with `bound` also bound to it (the driver's folder links
    // to it).
    void registerSMC(const std::string& device, bool bound) {
        smc_ = device;
        const std::string folder = root_ / ("sys/devices/platform/" + device);
        testing_support::writeFile(folder + "/uevent",
                                   "DRIVER=applesmc\nMODALIAS=platform:applesmc\n");
        testing_support::makeRelativeLink(folder, root_ / ("sys/bus/platform/devices/" + device));
        if (bound) {
            const std::string driver = root_ / "sys/bus/platform/drivers/applesmc";
            std::filesystem::create_directories(driver);
            testing_support::makeRelativeLink(driver, folder + "/driver");
            testing_support::makeRelativeLink(folder, driver + "/" + device);
        }
    }

  private:
    testing_support::TempDir root_;
    testing_support::ScopedEnv sysroot_;
    testing_support::ScopedEnv noSystemBus_;
    std::string smc_ = "applesmc.768";
};
