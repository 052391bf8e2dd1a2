// AV services on Linux: one for each DRM connector with a monitor connected
// whose video link has a DDC bus. The kernel links the connector to the I2C
// adapter of that bus ("ddc" in /sys/class/drm/card<N>-<connector>/, made by
// drm_sysfs_connector_add in drivers/gpu/drm/drm_sysfs.c when the driver
// names the adapter), and i2c-dev gives the adapter i2c-<N> the node
// /dev/i2c-<N> (drivers/i2c/i2c-dev.c). The connector's "edid" attribute is
// the EDID the link read. Built-in panels (eDP, LVDS, DSI) are "Embedded",
// every other connector "External".
//
// Services are looked at when first asked for; monitors plugged in or out
// later are found through a hot-plug watch on the drm and i2c-dev
// subsystems: the kernel announces a monitor on a port as a change of the
// card (drm_sysfs_hotplug_event), one on a DisplayPort hub by adding or
// removing its connector and adapter.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "IOKit/AVServiceBackend.h"

namespace platform::linux_machine {

class HotplugWatch;
class I2cDevChannel;

class LinuxAVServices : public AVServiceBackend {
  public:
    LinuxAVServices();
    ~LinuxAVServices() override;

    std::vector<io_service_t> services() override;
    std::optional<PlistValue> property(io_service_t service, const std::string& key) override;
    std::shared_ptr<AVServiceChannel> channel(io_service_t service) override;
    void addListener(Listener* listener) override;
    void removeListener(Listener* listener) override;

    // Compares what sysfs shows now with what was reported and tells the
    // listeners the difference. Called by the hot-plug watch.
    void rescan();

  private:
    struct Service;
    void watch();
    const Service* byHandle(io_service_t service) const;

    std::map<std::string, Service> present_;  // by connector, bus and EDID
    std::vector<Listener*> listeners_;
    std::unique_ptr<HotplugWatch> watch_;
    io_service_t nextHandle_ = 0x60000001;
};

}  // namespace platform::linux_machine
