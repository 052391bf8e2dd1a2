// The I2C adapters a monitor's DDC/CI may be on, found as ddcutil finds them
// (rockowitz/ddcutil v2.2.7 src/sysfs/sysfs_base.c, src/i2c/i2c_bus_core.c):
// every adapter with an i2c-dev node (/sys/class/i2c-dev/i2c-<N>) that sits
// below a display controller (PCI class 0x03xxxx on the adapter's device or
// a parent, get_i2c_device_sysfs_class), less those that must never be
// probed, each for its reason (`excluded`):
// - the GPU's own buses: "AMDGPU SMU" (probing them has hung cards),
//   "AMDGPU DM i2c OEM bus", and nouveau's buses other than "nvkm-"
//   (ignorable_i2c_device_sysfs_name);
// - the built-in panel's own bus (an adapter under an eDP, LVDS or DSI
//   connector): a laptop panel takes no DDC/CI (ddcutil detect: "Laptop
//   displays do not support DDC/CI"; on Debian 12's i915 its AUX adapter
//   answers 0x50 but not 0x37, rockowitz/ddcutil#383).
// Where an adapter sits tells what it belongs to: the kernel puts a
// DisplayPort connector's AUX adapter below the connector
// (drm_dp_aux_register with the connector's kdev as parent), and an MST
// port's adapter ("DPMST", drm_dp_mst_register_i2c_bus) and a card's own
// buses (NVIDIA's, i915's gmbus) directly below the PCI device.
#pragma once

#include <string>
#include <vector>

namespace platform::linux_machine {

struct I2cAdapter {
    int bus = -1;              // N of /dev/i2c-N
    std::string name;          // "AMDGPU DM aux hw bus 3"
    std::string folder;        // the adapter's real folder, under the sysroot
    std::string connector;     // the DRM connector it sits under ("card0-DP-4"), if any
    std::string driver;        // of the display controller ("amdgpu", "nvidia")
    std::string excluded;      // why it is never probed; empty when it may be
    std::string node() const;  // /dev/i2c-N, under the sysroot
};

// The adapters of display controllers, by bus number; the excluded ones too,
// so that a journal line can say why they were left alone.
std::vector<I2cAdapter> listDisplayI2cAdapters();

}  // namespace platform::linux_machine
