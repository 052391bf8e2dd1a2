// AV services on Linux: one for each monitor on a bus that may carry its
// DDC/CI, found as ddcutil finds it (the buses in I2cAdapters.h, paired with
// the DRM connectors in LinuxAVServices.cpp, lookAround), reached through
// i2c-dev's /dev/i2c-<N> (drivers/i2c/i2c-dev.c). A connected output whose
// monitor is on no bus is named once in the journal, with the buses tried.
// Built-in panels (eDP, LVDS, DSI) are "Embedded" (and never probed), every
// other monitor "External".
//
// Services are looked at when first asked for; monitors plugged in or out
// later are found through a hot-plug watch on the drm and i2c-dev
// subsystems: the kernel announces a monitor on a port as a change of the
// card (drm_sysfs_hotplug_event), one on a DisplayPort hub by adding or
// removing its connector and adapter.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "machine/AVServiceBackend.h"

namespace platform::linux_machine {

class BusEdids;
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
    struct Look;
    Look lookAround();
    void watch();
    const Service* byHandle(io_service_t service) const;

    std::unique_ptr<BusEdids> edids_;
    std::map<std::string, Service> present_;  // by connector, buses and EDID
    std::set<std::string> told_;              // outputs named in the journal as found on no bus
    std::vector<Listener*> listeners_;
    std::unique_ptr<HotplugWatch> watch_;
    io_service_t nextHandle_ = 0x60000001;
};

}  // namespace platform::linux_machine
