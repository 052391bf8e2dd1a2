#include "linux/LinuxAVServices.h"

#include <algorithm>

#include "IOKit/IOAVService.h"
#include "linux/DrmConnectors.h"
#include "linux/HotplugWatch.h"
#include "linux/I2cDevChannel.h"
#include "linux/SysfsFiles.h"
#include "linux/Sysroot.h"

namespace platform::linux_machine {

struct LinuxAVServices::Service {
    io_service_t handle = 0;
    bool builtin = false;
    std::shared_ptr<I2cDevChannel> channel;
};

namespace {

struct Found {
    bool builtin = false;
    std::string node;
    std::vector<std::uint8_t> edid;
};

// Connectors with a monitor on them and a DDC bus, by connector, bus and
// EDID, so another monitor on the same connector is another service.
std::map<std::string, Found> lookAround() {
    std::map<std::string, Found> found;
    for (const auto& c : listDrmConnectors().connectors) {
        if (readAttribute(c.folder + "/status") != "connected")
            continue;
        const auto bus = linkTargetName(c.folder + "/ddc");
        if (!bus || bus->rfind("i2c-", 0) != 0)
            continue;
        Found f;
        f.builtin = c.builtin;
        f.node = underSysroot("/dev/" + *bus);
        f.edid = readBinaryFile(c.folder + "/edid", 32768).value_or(std::vector<std::uint8_t>{});
        std::string key = c.name + " " + *bus + " ";
        key.append(f.edid.begin(), f.edid.end());
        found.emplace(std::move(key), std::move(f));
    }
    return found;
}

// A monitor plugged into or out of a fixed port: a change of its card with
// HOTPLUG=1; one on a DisplayPort hub: its connector and its bus's i2c-dev
// node coming or going. Other changes (a lease, LEASE=1) leave the outputs as
// they are.
bool servicesMayHaveChanged(const DeviceEvent& event) {
    return event.comesOrGoes() || event.drmHotplug();
}

}  // namespace

LinuxAVServices::LinuxAVServices() = default;
LinuxAVServices::~LinuxAVServices() = default;

void LinuxAVServices::watch() {
    if (watch_)
        return;
    watch_ = std::make_unique<HotplugWatch>(
        std::vector<std::string>{"drm", "i2c-dev"},
        "Monitor hot-plug on the video outputs is not watched; monitors present now are still used",
        [this](const std::vector<DeviceEvent>& events) {
            if (std::any_of(events.begin(), events.end(), servicesMayHaveChanged))
                rescan();
        });
    rescan();
}

void LinuxAVServices::rescan() {
    auto now = lookAround();
    std::vector<io_service_t> gone, arrived;
    for (auto it = present_.begin(); it != present_.end();) {
        if (now.count(it->first)) {
            ++it;
            continue;
        }
        it->second.channel->markRemoved();
        gone.push_back(it->second.handle);
        it = present_.erase(it);
    }
    for (auto& [key, f] : now) {
        if (present_.count(key))
            continue;
        Service s;
        s.handle = nextHandle_++;
        s.builtin = f.builtin;
        s.channel = std::make_shared<I2cDevChannel>(f.node, std::move(f.edid));
        arrived.push_back(s.handle);
        present_.emplace(key, std::move(s));
    }
    auto listeners = listeners_;
    for (auto* l : listeners) {
        if (!gone.empty())
            l->servicesRemoved(gone);
        if (!arrived.empty())
            l->servicesArrived(arrived);
    }
}

const LinuxAVServices::Service* LinuxAVServices::byHandle(io_service_t service) const {
    for (const auto& [key, s] : present_) {
        if (s.handle == service)
            return &s;
    }
    return nullptr;
}

std::vector<io_service_t> LinuxAVServices::services() {
    watch();
    std::vector<io_service_t> handles;
    for (const auto& [key, s] : present_)
        handles.push_back(s.handle);
    return handles;
}

std::optional<PlistValue> LinuxAVServices::property(io_service_t service, const std::string& key) {
    const auto* s = byHandle(service);
    if (!s || key != kIOAVServiceLocationKey)
        return std::nullopt;
    return PlistValue::string(s->builtin ? kIOAVServiceLocationEmbedded
                                         : kIOAVServiceLocationExternal);
}

std::shared_ptr<AVServiceChannel> LinuxAVServices::channel(io_service_t service) {
    const auto* s = byHandle(service);
    return s ? s->channel : nullptr;
}

void LinuxAVServices::addListener(Listener* listener) {
    watch();
    listeners_.push_back(listener);
}

void LinuxAVServices::removeListener(Listener* listener) {
    std::erase(listeners_, listener);
}

}  // namespace platform::linux_machine
