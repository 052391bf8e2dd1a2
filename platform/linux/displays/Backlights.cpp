#include "linux/displays/Backlights.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>

#include "base/RawBrightness.h"
#include "linux/devices/DrmConnectors.h"
#include "linux/devices/ErrnoStatus.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

std::string backlightClassFolder() {
    return underSysroot("/sys/class/backlight");
}

int typeRank(const std::string& type) {
    if (type == "firmware")
        return 0;
    if (type == "platform")
        return 1;
    if (type == "raw")
        return 2;
    return 3;
}

// The built-in panel's connector, on card `card` or (with -1) any card: an
// active one first, else the first in display order.
std::optional<std::string> builtinConnector(const std::vector<DrmConnector>& connectors, int card) {
    const DrmConnector* fallback = nullptr;
    for (const auto& c : connectors) {
        if (!c.builtin || (card >= 0 && c.card != card))
            continue;
        if (c.active)
            return c.name;
        if (!fallback)
            fallback = &c;
    }
    if (fallback)
        return fallback->name;
    return std::nullopt;
}

// The card numbers a graphics device drives ("<device>/drm/card<N>").
std::vector<int> cardsOf(const std::string& deviceFolder) {
    std::vector<int> cards;
    for (const auto& name : folderEntries(deviceFolder + "/drm")) {
        if (name.size() > 4 && name.rfind("card", 0) == 0 &&
            name.find_first_not_of("0123456789", 4) == std::string::npos) {
            cards.push_back(std::stoi(name.substr(4)));
        }
    }
    return cards;
}

// The DRM connectors, read once per walk and only when a backlight needs them.
class ConnectorsOnDemand {
  public:
    const std::vector<DrmConnector>& get() {
        if (!connectors_)
            connectors_ = listDrmConnectors().connectors;
        return *connectors_;
    }

  private:
    std::optional<std::vector<DrmConnector>> connectors_;
};

struct ParentDevice {
    std::string name;
    std::string folder;
};

// The device a backlight belongs to: its `device` link, or where that link is
// missing, the folder its class entry resolves into. A class device whose
// parent is not itself a class device sits in a folder named after its class
// (".../0000:00:02.0/backlight/acpi_video0"), one level further down: the
// kernel's drivers/base/core.c, get_device_parent(). Only a folder in the
// device tree is a device: a class entry that is a plain folder has none.
std::optional<ParentDevice> parentDevice(const std::string& classFolder) {
    const std::string link = classFolder + "/device";
    if (auto name = linkTargetName(link))
        return ParentDevice{*name, link};
    auto resolved = resolvedPath(classFolder);
    auto devices = resolvedPath(underSysroot("/sys/devices"));
    if (!resolved || !devices)
        return std::nullopt;
    std::string parent = parentFolder(*resolved);
    if (baseName(parent) == "backlight")
        parent = parentFolder(parent);
    if (parent.rfind(*devices + "/", 0) != 0)
        return std::nullopt;
    return ParentDevice{baseName(parent), parent};
}

// Ties a backlight to its panel: a raw interface through its parent device
// (the connector itself, or the graphics card whose built-in connector it
// drives), firmware and platform interfaces to the built-in panel.
void attachToConnector(Backlight& b, ConnectorsOnDemand& connectors) {
    if (auto device = parentDevice(b.folder)) {
        int card = 0;
        std::string type;
        if (parseConnectorName(device->name, &card, &type)) {
            b.connector = device->name;
            b.builtin = isBuiltinConnectorType(type);
            return;
        }
        for (int c : cardsOf(device->folder)) {
            if (auto name = builtinConnector(connectors.get(), c)) {
                b.connector = name;
                b.builtin = true;
                return;
            }
        }
    }
    if (b.type.empty())
        b.type = readAttribute(b.folder + "/type").value_or("");
    if (b.type == "firmware" || b.type == "platform") {
        b.builtin = true;
        b.connector = builtinConnector(connectors.get(), -1);
    }
}

// `withType`: read the type even where the connector does not need it (to
// order several backlights). A lone backlight costs fewer reads that way, and
// it is read many times a second during a fade.
std::optional<Backlight> describe(const std::string& name, ConnectorsOnDemand& connectors,
                                  bool withType = true) {
    Backlight b;
    b.name = name;
    b.folder = backlightClassFolder() + "/" + name;
    if (isUsbMonitorBacklight(b.folder))
        return std::nullopt;
    if (withType) {
        auto type = readAttribute(b.folder + "/type");
        if (!type)
            return std::nullopt;  // vanished, or not a backlight
        b.type = *type;
    }
    attachToConnector(b, connectors);
    return b;
}

std::vector<Backlight> walkBacklights(const std::function<bool(const Backlight&)>& stopAt) {
    ConnectorsOnDemand connectors;
    std::vector<std::string> names;
    for (auto& name : folderEntries(backlightClassFolder())) {
        if (!isUsbMonitorBacklight(name))
            names.push_back(std::move(name));
    }
    std::vector<Backlight> list;
    for (const auto& name : names) {
        auto b = describe(name, connectors, names.size() > 1);
        if (!b)
            continue;
        list.push_back(std::move(*b));
        if (stopAt && stopAt(list.back()))
            break;
    }
    std::stable_sort(list.begin(), list.end(), [](const Backlight& a, const Backlight& b) {
        return typeRank(a.type) < typeRank(b.type);
    });
    return list;
}

}  // namespace

bool isUsbMonitorBacklight(const std::string& classEntry) {
    return baseName(classEntry).rfind(kUsbMonitorBacklightPrefix, 0) == 0;
}

std::vector<Backlight> listBacklights() {
    return walkBacklights(nullptr);
}

std::optional<Backlight> findBacklight(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name[0] == '.')
        return std::nullopt;
    ConnectorsOnDemand connectors;
    return describe(name, connectors);
}

bool hasBuiltinBacklight() {
    auto list = walkBacklights([](const Backlight& b) { return b.builtin; });
    return std::any_of(list.begin(), list.end(), [](const Backlight& b) { return b.builtin; });
}

IOReturn readBacklightMax(const Backlight& backlight, long long* max) {
    int error = 0;
    auto value = readCount(backlight.folder + "/max_brightness", &error);
    if (!value)
        return statusForErrno(error);
    if (*value <= 0)
        return kIOReturnIOError;
    *max = *value;
    return kIOReturnSuccess;
}

std::optional<long long> backlightRawValue(double fraction, long long max, bool builtin) {
    if (std::isnan(fraction) || max <= 0)
        return std::nullopt;
    long long raw = rawBrightness(fraction, max);
    // The file takes the steps every device takes (RawBrightness.h), with one
    // floor of its own: many panels switch their backlight off at 0, which
    // leaves the screen black, so the darkest value a brightness request may
    // set on a built-in panel is 1 (systemd-backlight@.service(8), systemd 255,
    // holds a restored brightness at 1 or more for the same reason).
    if (builtin && raw < 1)
        raw = 1;
    return raw;
}

}  // namespace platform::linux_machine
