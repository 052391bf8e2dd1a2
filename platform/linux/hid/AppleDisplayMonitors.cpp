#include "linux/hid/AppleDisplayMonitors.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>

#include "linux/devices/NumberedNames.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"
#include "linux/displays/Backlights.h"

namespace platform::linux_machine {
namespace {

std::optional<std::int32_t> hexAttribute(const std::string& path) {
    auto text = readAttribute(path);
    if (!text || text->empty() || text->size() > 4)
        return std::nullopt;
    char* end = nullptr;
    long v = std::strtol(text->c_str(), &end, 16);
    if (*end != '\0')
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

// The USB device (the folder with idVendor and idProduct) at or above `folder`.
bool usbDeviceAt(std::string folder, std::int32_t* vendor, std::int32_t* product) {
    const std::string top = underSysroot("/sys/devices");
    while (folder.size() > top.size() && folder.rfind(top, 0) == 0) {
        auto v = hexAttribute(folder + "/idVendor");
        auto p = hexAttribute(folder + "/idProduct");
        if (v && p) {
            *vendor = *v;
            *product = *p;
            return true;
        }
        folder = parentFolder(folder);
    }
    return false;
}

// "appledisplay12" sorts after "appledisplay2".
int displayNumber(const std::string& name) {
    return std::atoi(name.c_str() + kUsbMonitorBacklightPrefix.size());
}

// The USB IDs of the monitors bound to the driver whose backlight does not sit
// under their interface, in interface order.
std::vector<std::pair<std::int32_t, std::int32_t>> boundMonitors() {
    const std::string driver = underSysroot("/sys/bus/usb/drivers/appledisplay");
    std::vector<std::pair<std::int32_t, std::int32_t>> ids;
    auto names = folderEntries(driver);
    std::sort(names.begin(), names.end(), numberedBefore);
    for (const auto& name : names) {
        if (name.find(':') == std::string::npos)
            continue;  // interfaces are "1-2:1.0"
        auto interface = resolvedPath(driver + "/" + name);
        if (!interface || !folderEntries(*interface + "/backlight").empty())
            continue;
        std::int32_t vendor = 0, product = 0;
        if (usbDeviceAt(parentFolder(*interface), &vendor, &product)) {
            ids.emplace_back(vendor, product);
        }
    }
    return ids;
}

}  // namespace

std::vector<AppleDisplayMonitor> findAppleDisplayMonitors() {
    const std::string classFolder = underSysroot("/sys/class/backlight");
    std::vector<AppleDisplayMonitor> parentless, found;
    for (const auto& name : folderEntries(classFolder)) {
        if (!isUsbMonitorBacklight(name))
            continue;
        AppleDisplayMonitor m;
        m.backlight = classFolder + "/" + name;
        auto folder = resolvedPath(m.backlight);
        if (!folder)
            continue;
        m.folder = *folder;
        if (usbDeviceAt(parentFolder(m.folder), &m.vendor, &m.product)) {
            found.push_back(std::move(m));
        } else {
            parentless.push_back(std::move(m));
        }
    }
    std::sort(parentless.begin(), parentless.end(), [](const auto& a, const auto& b) {
        return displayNumber(baseName(a.backlight)) < displayNumber(baseName(b.backlight));
    });
    auto ids = boundMonitors();
    auto distinct = ids;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    for (std::size_t i = 0; i < parentless.size() && i < ids.size(); ++i) {
        std::tie(parentless[i].vendor, parentless[i].product) = ids[i];
        // Paired in order: right when all are of one product, else a guess
        // that says it is one.
        if (distinct.size() > 1)
            for (const auto& id : distinct)
                parentless[i].possibleProducts.push_back(id.second);
        found.push_back(std::move(parentless[i]));
    }
    return found;
}

std::string describeAppleDisplayProduct(const AppleDisplayMonitor& monitor) {
    const auto hex = [](std::int32_t id) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(id));
        return std::string(text);
    };
    if (monitor.possibleProducts.empty())
        return hex(monitor.product);
    std::string text = hex(monitor.product);
    for (std::int32_t other : monitor.possibleProducts)
        if (other != monitor.product)
            text += " or " + hex(other);
    return text +
           " (unknown which: the appledisplay driver registers its backlight without a parent "
           "device, so the kernel links it to none of the monitors' USB interfaces)";
}

}  // namespace platform::linux_machine
