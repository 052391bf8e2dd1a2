#include "linux/LinuxHID.h"

#include "Foundation/NSLog.h"
#include "linux/AppleDisplayBacklightDevice.h"
#include "linux/AppleDisplayMonitors.h"
#include "linux/HidID.h"
#include "linux/HidReportDescriptor.h"
#include "linux/HidrawDevice.h"
#include "linux/HotplugWatch.h"
#include "linux/SysfsFiles.h"
#include "linux/Sysroot.h"

namespace platform::linux_machine {
namespace {

constexpr std::int32_t kAppleVendorID = 0x05AC;

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

// The brightness control of the USB Monitor Control class: usage 0x10 on the
// VESA Virtual Controls page 0x82 (USB HID Usage Tables, Monitor pages).
const __IOHIDElement* brightnessFeature(const std::vector<__IOHIDElement>& elements) {
    for (const auto& e : elements) {
        if (e.type == kIOHIDElementTypeFeature && e.usagePage == 0x82 && e.usage == 0x10)
            return &e;
    }
    return nullptr;
}

void logMonitorArrival(std::int32_t product, const std::string& node,
                       const std::optional<std::vector<std::uint8_t>>& descriptor,
                       const std::vector<__IOHIDElement>& elements) {
    if (!descriptor) {
        NSLog("USB monitor 0x%04x at %s: report descriptor unreadable", product, node.c_str());
        return;
    }
    if (auto layout = featureReportLayout(*descriptor, static_cast<int>(kBrightnessReportID))) {
        NSLog("USB monitor 0x%04x at %s: feature report 16 carries %d bits, logical range %lld to "
              "%lld",
              product, node.c_str(), layout->bits, static_cast<long long>(layout->logicalMinimum),
              static_cast<long long>(layout->logicalMaximum));
    } else if (const auto* e = brightnessFeature(elements)) {
        NSLog("USB monitor 0x%04x at %s: brightness in feature report %u, %u bits, logical range "
              "%lld to %lld",
              product, node.c_str(), e->reportID, e->reportSize * e->reportCount,
              static_cast<long long>(e->logicalMin), static_cast<long long>(e->logicalMax));
    } else {
        NSLog("USB monitor 0x%04x at %s: report descriptor declares no feature report 16 and no "
              "brightness field",
              product, node.c_str());
    }
}

}  // namespace

struct LinuxHID::Found {
    enum class Kind { Hidraw, AppleDisplay } kind;
    std::string location;  // the hidraw node, or the backlight's class entry
    std::string deviceFolder;
    std::int32_t vendor = 0;
    std::int32_t product = 0;
};

LinuxHID::LinuxHID() = default;
LinuxHID::~LinuxHID() = default;

IOReturn LinuxHID::open(Listener* listener) {
    if (!listener)
        return kIOReturnBadArgument;
    if (!watch_)
        watch_ = std::make_unique<HotplugWatch>(
            std::vector<std::string>{"hidraw", "backlight"},
            "USB monitor hot-plug is not watched; monitors present now are still used",
            [this] { rescan(); });
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
        Found f{Found::Kind::Hidraw, {}, {}, 0, 0};
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
        std::string key = "backlight " + m.folder;
        found.emplace(key, Found{Found::Kind::AppleDisplay, m.backlight, {}, m.vendor, m.product});
    }
    return found;
}

LinuxHIDDevice* LinuxHID::arrive(const Found& f) {
    std::unique_ptr<LinuxHIDDevice> device;
    if (f.kind == Found::Kind::Hidraw) {
        // Only Apple devices are ever matched; their descriptor tells how
        // their brightness is sent.
        std::vector<__IOHIDElement> elements;
        if (f.vendor == kAppleVendorID) {
            auto descriptor = readBinaryFile(f.deviceFolder + "/report_descriptor", 4096);
            if (descriptor)
                elements = hidReportElements(*descriptor);
            logMonitorArrival(f.product, f.location, descriptor, elements);
        }
        device = std::make_unique<HidrawDevice>(f.location, f.vendor, f.product,
                                                std::move(elements));
    } else {
        device = std::make_unique<AppleDisplayBacklightDevice>(f.location, f.vendor, f.product);
        NSLog("USB monitor 0x%04x at %s: driven by the appledisplay driver, brightness 0 to %lld",
              f.product, f.location.c_str(), readCount(f.location + "/max_brightness").value_or(0));
    }
    devices_.push_back(std::move(device));
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
