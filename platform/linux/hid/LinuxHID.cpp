#include "linux/hid/LinuxHID.h"

#include <algorithm>

#include "linux/devices/HotplugWatch.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"
#include "linux/displays/Backlights.h"
#include "linux/hid/AppleDisplayBacklightDevice.h"
#include "linux/hid/AppleDisplayMonitors.h"
#include "linux/hid/HidID.h"
#include "linux/hid/HidrawDevice.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kHidrawSubsystem = "hidraw";
constexpr const char* kBacklightSubsystem = "backlight";

// "DEVNAME=hidraw3" in the node's uevent; the node's own name otherwise.
std::string deviceNodeName(const std::string& classEntry, const std::string& name) {
    auto uevent = readBinaryFile(classEntry + "/uevent", 8192);
    if (uevent) {
        std::string text(uevent->begin(), uevent->end());
        auto at = text.find("DEVNAME=");
        if (at != std::string::npos) {
            std::string devname = text.substr(at + 8, text.find('\n', at) - at - 8);
            if (!devname.empty() && devname.find("..") == std::string::npos)
                return devname;
        }
    }
    return name;
}

// What the monitors found may have changed with: a hidraw node or an
// appledisplay backlight coming or going. Every write of a backlight's
// brightness brings a change event of its own (DeviceEvents.h); it changes
// nothing here.
bool monitorsMayHaveChanged(const DeviceEvent& event) {
    if (!event.comesOrGoes())
        return false;
    if (event.action == DeviceEvent::Action::Missed || event.subsystem == kHidrawSubsystem)
        return true;
    return event.subsystem == kBacklightSubsystem && isUsbMonitorBacklight(event.name);
}

}  // namespace

struct LinuxHID::Found {
    enum class Kind { Hidraw, AppleDisplay } kind;
    std::string location;  // the hidraw node, or the backlight's class entry
    std::string deviceFolder;
    std::int32_t vendor = 0;
    std::int32_t product = 0;
    std::string productText;  // an appledisplay backlight's products, when the kernel does not tell
};

LinuxHID::LinuxHID() = default;
LinuxHID::~LinuxHID() = default;

IOReturn LinuxHID::open(Listener* listener) {
    if (!listener)
        return kIOReturnBadArgument;
    if (!watch_)
        watch_ = std::make_unique<HotplugWatch>(
            std::vector<std::string>{kHidrawSubsystem, kBacklightSubsystem},
            "USB monitor hot-plug is not watched; monitors present now are still used",
            [this](const std::vector<DeviceEvent>& events) {
                if (std::any_of(events.begin(), events.end(), monitorsMayHaveChanged))
                    rescan();
            });
    rescan();  // catches up the listeners already open
    listeners_.push_back(listener);
    // The present devices, as a copy: a callback may open another listener.
    std::vector<LinuxHIDDevice*> present;
    for (auto& [key, device] : present_)
        present.push_back(device);
    for (auto* device : present)
        listener->deviceAttached(device);
    return kIOReturnSuccess;
}

std::map<std::string, LinuxHID::Found> LinuxHID::lookAround() const {
    std::map<std::string, Found> found;
    const std::string hidraw = underSysroot("/sys/class/hidraw");
    for (const auto& name : folderEntries(hidraw)) {
        std::string entry = hidraw + "/" + name;
        auto folder = resolvedPath(entry);
        auto uevent = readBinaryFile(entry + "/device/uevent", 8192);
        Found f{Found::Kind::Hidraw, {}, {}, 0, 0, {}};
        auto id = uevent ? parseHidID(std::string_view(
                               reinterpret_cast<const char*>(uevent->data()), uevent->size()))
                         : std::nullopt;
        if (!folder || !id) {
            continue;
        }
        f.vendor = id->vendor;
        f.product = id->product;
        f.location = underSysroot("/dev/" + deviceNodeName(entry, name));
        f.deviceFolder = entry + "/device";
        // The same node name on another device folder is another device.
        found.emplace("hidraw " + *folder, std::move(f));
    }
    for (auto& m : findAppleDisplayMonitors()) {
        Found f{Found::Kind::AppleDisplay, m.backlight, {}, m.vendor, m.product, {}};
        if (!m.possibleProducts.empty())
            f.productText = describeAppleDisplayProduct(m);
        found.emplace("backlight " + m.folder, std::move(f));
    }
    return found;
}

LinuxHIDDevice* LinuxHID::arrive(const Found& f) {
    if (f.kind == Found::Kind::Hidraw)
        devices_.push_back(std::make_unique<HidrawDevice>(f.location, f.vendor, f.product,
                                                          f.deviceFolder + "/report_descriptor"));
    else
        devices_.push_back(std::make_unique<AppleDisplayBacklightDevice>(f.location, f.vendor,
                                                                         f.product, f.productText));
    return devices_.back().get();
}

void LinuxHID::rescan() {
    // A listener may run the loop (or open) while being told; the scan then
    // runs once more afterwards instead of inside itself.
    if (scanning_) {
        scanAgain_ = true;
        return;
    }
    scanning_ = true;
    do {
        scanAgain_ = false;
        auto now = lookAround();
        std::vector<LinuxHIDDevice*> gone, arrived;
        for (auto it = present_.begin(); it != present_.end();) {
            if (now.count(it->first)) {
                ++it;
                continue;
            }
            it->second->markRemoved();
            gone.push_back(it->second);
            it = present_.erase(it);
        }
        for (const auto& [key, f] : now) {
            if (present_.count(key))
                continue;
            auto* device = arrive(f);
            present_.emplace(key, device);
            arrived.push_back(device);
        }
        auto listeners = listeners_;
        for (auto* device : gone) {
            for (auto* l : listeners)
                l->deviceRemoved(device);
        }
        for (auto* device : arrived) {
            for (auto* l : listeners)
                l->deviceAttached(device);
        }
    } while (scanAgain_);
    scanning_ = false;
}

}  // namespace platform::linux_machine
