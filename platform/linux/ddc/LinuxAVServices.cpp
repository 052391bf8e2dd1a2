#include "linux/ddc/LinuxAVServices.h"

#include <algorithm>
#include <functional>
#include <set>

#include "IOKit/IOAVService.h"
#include "linux/ddc/BusEdids.h"
#include "linux/ddc/DdcciBacklightChannel.h"
#include "linux/ddc/I2cAdapters.h"
#include "linux/ddc/I2cDevChannel.h"
#include "linux/devices/DrmConnectors.h"
#include "linux/devices/HotplugWatch.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"
#include "machine/Machine.h"

namespace platform::linux_machine {

struct LinuxAVServices::Service {
    io_service_t handle = 0;
    bool builtin = false;
    std::shared_ptr<AVServiceChannel> channel;
    std::function<void()> markRemoved;
};

namespace {

struct Found {
    bool builtin = false;
    std::string connector;
    std::vector<const I2cAdapter*> buses;
    std::vector<std::uint8_t> edid;
    DrmOutput output;
};

std::vector<std::uint8_t> baseBlock(const std::vector<std::uint8_t>& edid) {
    return edid.size() >= 128 ? std::vector<std::uint8_t>(edid.begin(), edid.begin() + 128)
                              : std::vector<std::uint8_t>{};
}

std::string describe(const I2cAdapter& a) {
    return "/dev/i2c-" + std::to_string(a.bus) + " (" + (a.name.empty() ? "no name" : a.name) + ")";
}

// NVIDIA's driver reports a connected output as enabled=disabled, and its
// connectors' edid can be stale after a hot-plug (rockowitz/ddcutil#390,
// #418, in ../shared/real-data/ddc/): where it drives the card, its
// attributes do not decide whether the output is lit, and what the monitor
// answers does.
bool trustedDriver(const std::string& driver) {
    return driver != "nvidia";
}

std::string cardDriver(int card) {
    return linkTargetName(underSysroot("/sys/class/drm/card" + std::to_string(card)) +
                          "/device/driver")
        .value_or("");
}

std::string keyOf(const Found& f) {
    std::string key = f.connector + " ";
    for (const auto* a : f.buses)
        key += std::to_string(a->bus) + " ";
    key.append(f.edid.begin(), f.edid.end());
    return key;
}

}  // namespace

// What the machine shows now: the outputs with a monitor on them and the
// buses that monitor may be on, as ddcutil pairs them
// (src/i2c/i2c_bus_core.c, i2c_detect_buses and the connector look-ups of
// src/sysfs/sysfs_base.c):
// 1. an output's own buses: the DisplayPort AUX adapter below it first (on
//    amdgpu the monitor answers there and not on the adapter its ddc link
//    names, rockowitz/ddcutil#283), then its "ddc" link (made where the
//    driver sets connector->ddc, drivers/gpu/drm/drm_sysfs.c; i915's
//    DisplayPort outputs only since Linux 6.7, 84fd19644aef). A bus below an
//    output that is not connected is that output's and nobody else's: a
//    phantom (src/ddc/ddc_phantom_displays.c, is_phantom_display);
// 2. every other bus of a display controller (NVIDIA's, MST's "DPMST", the
//    gmbus of an older i915) by the EDID read at its 0x50: the output whose
//    edid it is, one that has no bus yet first, so two identical monitors
//    stay two; a bus whose EDID is an output's that has a bus already is
//    that same monitor seen twice, and tried after it; a bus whose EDID no
//    output has is a monitor of its own (NVIDIA without modesetting lists
//    no outputs at all, nvidia-525-no-drm-connectors);
// 3. a "DPMST" bus whose EDID reads as zeros (rockowitz/ddcutil#585): the
//    one output left without a bus, when exactly one is left.
struct LinuxAVServices::Look {
    std::vector<I2cAdapter> adapters;  // what `found` points into
    std::map<std::string, Found> found;
    std::map<std::string, std::string> unfound;  // connector -> why, for the journal
    std::vector<std::string> adapterFolders;
};

LinuxAVServices::Look LinuxAVServices::lookAround() {
    Look look;
    look.adapters = listDisplayI2cAdapters();
    const auto& adapters = look.adapters;
    for (const auto& a : adapters)
        look.adapterFolders.push_back(a.folder);
    auto byBus = [&](int bus) -> const I2cAdapter* {
        for (const auto& a : adapters)
            if (a.bus == bus)
                return &a;
        return nullptr;
    };
    std::set<int> tied;
    std::vector<Found> withBus, waiting;
    for (const auto& c : listDrmConnectors().connectors) {
        Found f;
        f.builtin = c.builtin;
        f.connector = c.name;
        f.edid = readBinaryFile(c.folder + "/edid", 32768).value_or(std::vector<std::uint8_t>{});
        f.output = {c.folder, trustedDriver(cardDriver(c.card))};
        std::vector<const I2cAdapter*> own;
        for (const auto& a : adapters)
            if (a.connector == c.name)
                own.push_back(&a);
        if (auto ddc = linkTargetName(c.folder + "/ddc"); ddc && ddc->rfind("i2c-", 0) == 0) {
            const auto* a = byBus(std::atoi(ddc->c_str() + 4));
            if (a && std::find(own.begin(), own.end(), a) == own.end())
                own.push_back(a);
        }
        for (const auto* a : own)
            tied.insert(a->bus);
        if (readAttribute(c.folder + "/status") != "connected")
            continue;
        for (const auto* a : own)
            if (a->excluded.empty() || c.builtin)
                f.buses.push_back(a);
        if (c.builtin) {
            if (!f.buses.empty())
                withBus.push_back(std::move(f));  // told of, never probed
        } else if (f.buses.empty()) {
            waiting.push_back(std::move(f));
        } else {
            withBus.push_back(std::move(f));
        }
    }
    // Buses nothing in sysfs ties to an output, by the EDID at their 0x50.
    std::vector<Found> own;
    std::vector<const I2cAdapter*> blank;
    std::map<std::string, std::string> tried;  // why each free bus was not taken
    bool reading = false;
    for (const auto& a : adapters) {
        if (tied.count(a.bus) || !a.excluded.empty())
            continue;
        const auto got = edids_->at(a.folder, a.node());
        if (!got) {
            reading = true;  // it comes in later, and the outputs are looked at again
            continue;
        }
        const auto& reading_ = *got;
        if (!reading_.edid) {
            tried[describe(a)] = reading_.why;
            if (a.name == "DPMST")
                blank.push_back(&a);
            continue;
        }
        const auto edid = *reading_.edid;
        auto same = [&](const Found& f) { return baseBlock(f.edid) == edid; };
        if (auto it = std::find_if(waiting.begin(), waiting.end(), same); it != waiting.end()) {
            it->buses.push_back(&a);
            withBus.push_back(std::move(*it));
            waiting.erase(it);
        } else if (auto seen = std::find_if(withBus.begin(), withBus.end(), same);
                   seen != withBus.end() && !seen->builtin) {
            seen->buses.push_back(&a);  // the same monitor on another bus
        } else if (seen == withBus.end()) {
            Found f;
            f.buses.push_back(&a);
            f.edid = edid;
            own.push_back(std::move(f));
        }
        tried[describe(a)] = "the EDID of another monitor";
    }
    if (reading)
        waiting.clear();  // nothing is said of an output until every bus has been read
    if (blank.size() == 1 && waiting.size() == 1) {
        waiting[0].buses.push_back(blank[0]);
        withBus.push_back(std::move(waiting[0]));
        waiting.clear();
    }
    for (auto& f : withBus)
        look.found.emplace(keyOf(f), std::move(f));
    for (auto& f : own)
        look.found.emplace(keyOf(f), std::move(f));
    for (const auto& f : waiting) {
        std::string why;
        for (const auto& [bus, reason] : tried)
            why += (why.empty() ? "" : "; ") + bus + ": " + reason;
        look.unfound[f.connector + " " + std::string(f.edid.begin(), f.edid.end())] =
            f.connector + ": " +
            (why.empty() ? "no I2C bus of a display controller is left to try"
                         : "buses tried: " + why);
    }
    return look;
}

namespace {

// A monitor plugged into or out of a fixed port: a change of its card with
// HOTPLUG=1; one on a DisplayPort hub: its connector and its bus's i2c-dev
// node coming or going. Other changes (a lease, LEASE=1) leave the outputs as
// they are.
bool servicesMayHaveChanged(const DeviceEvent& event) {
    return event.comesOrGoes() || event.drmHotplug();
}

}  // namespace

LinuxAVServices::LinuxAVServices() : edids_(std::make_unique<BusEdids>([this] { rescan(); })) {}
LinuxAVServices::~LinuxAVServices() = default;

void LinuxAVServices::watch() {
    if (watch_)
        return;
    watch_ = std::make_unique<HotplugWatch>(
        std::vector<std::string>{"drm", "i2c-dev"},
        "Monitor hot-plug on the video outputs is not watched; monitors present now are still used",
        [this](const std::vector<DeviceEvent>& events) {
            if (std::any_of(events.begin(), events.end(), servicesMayHaveChanged)) {
                // A monitor on a bus of its own may have changed without its
                // bus going: its EDID is read again.
                edids_->forgetAll();
                rescan();
            }
        });
    rescan();
}

void LinuxAVServices::rescan() {
    auto look = lookAround();
    edids_->keepOnly(look.adapterFolders);
    for (const auto& [key, line] : look.unfound) {
        if (told_.insert(key).second && Machine::isInstalled())
            Machine::current().writeLog("Output " + line +
                                        "; its monitor is not driven over DDC/CI");
    }
    std::erase_if(told_, [&](const std::string& key) { return !look.unfound.count(key); });
    auto& now = look.found;
    std::vector<io_service_t> gone, arrived;
    for (auto it = present_.begin(); it != present_.end();) {
        if (now.count(it->first)) {
            ++it;
            continue;
        }
        it->second.markRemoved();
        gone.push_back(it->second.handle);
        it = present_.erase(it);
    }
    for (auto& [key, f] : now) {
        if (present_.count(key))
            continue;
        Service s;
        s.handle = nextHandle_++;
        s.builtin = f.builtin;
        // A monitor the kernel's ddcci driver has claimed is driven through
        // the backlight it registers, not over the bus it owns.
        std::string ddcci;
        for (const auto* a : f.buses)
            if (ddcci.empty())
                ddcci = ddcciBacklightOf(a->folder, a->bus);
        if (!ddcci.empty() && !f.builtin) {
            auto channel = std::make_shared<DdcciBacklightChannel>(
                ddcci, std::move(f.edid), "the ddcci driver's backlight " + baseName(ddcci));
            s.markRemoved = [channel] { channel->markRemoved(); };
            s.channel = std::move(channel);
        } else {
            std::vector<I2cDevBus> buses;
            for (const auto* a : f.buses)
                buses.push_back({a->node(), describe(*a)});
            auto channel =
                std::make_shared<I2cDevChannel>(std::move(buses), std::move(f.edid), f.output);
            s.markRemoved = [channel] { channel->markRemoved(); };
            s.channel = std::move(channel);
        }
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
