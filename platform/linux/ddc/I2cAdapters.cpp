#include "linux/ddc/I2cAdapters.h"

#include <algorithm>
#include <cstdlib>

#include "linux/devices/DrmConnectors.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The PCI device above `folder` (the first parent with a "class"
// attribute), or empty.
std::string pciDeviceAbove(std::string folder) {
    const std::string top = underSysroot("/sys/devices");
    while (folder.size() > top.size()) {
        if (pathExists(folder + "/class") && pathExists(folder + "/vendor"))
            return folder;
        folder = parentFolder(folder);
    }
    return {};
}

// The DRM connector the adapter sits under, from its path
// (".../drm/card0/card0-DP-4/i2c-11").
std::string connectorAbove(const std::string& folder) {
    const std::string parent = baseName(parentFolder(folder));
    int card = 0;
    std::string type;
    return parseConnectorName(parent, &card, &type) ? parent : std::string();
}

std::string whyExcluded(const I2cAdapter& a) {
    for (const char* prefix : {"AMDGPU SMU", "AMDGPU DM i2c OEM bus"}) {
        if (startsWith(a.name, prefix))
            return std::string("a bus of the graphics card itself (") + prefix + ")";
    }
    if (a.driver == "nouveau" && !startsWith(a.name, "nvkm-"))
        return "a bus of the graphics card itself (nouveau)";
    int card = 0;
    std::string type;
    if (!a.connector.empty() && parseConnectorName(a.connector, &card, &type) &&
        isBuiltinConnectorType(type))
        return "the built-in panel's own bus";
    return {};
}

}  // namespace

std::string I2cAdapter::node() const {
    return underSysroot("/dev/i2c-" + std::to_string(bus));
}

std::vector<I2cAdapter> listDisplayI2cAdapters() {
    std::vector<I2cAdapter> adapters;
    const std::string classFolder = underSysroot("/sys/class/i2c-dev");
    for (const auto& entry : folderEntries(classFolder)) {
        if (!startsWith(entry, "i2c-") || entry.size() > 12 ||
            entry.find_first_not_of("0123456789", 4) != std::string::npos)
            continue;
        // The class entry leads to <adapter>/i2c-dev/i2c-N.
        const auto devNode = resolvedPath(classFolder + "/" + entry);
        if (!devNode)
            continue;
        I2cAdapter a;
        a.bus = std::atoi(entry.c_str() + 4);
        a.folder = parentFolder(parentFolder(*devNode));
        a.name = readAttribute(a.folder + "/name").value_or("");
        const std::string pci = pciDeviceAbove(a.folder);
        const std::string deviceClass =
            pci.empty() ? "" : readAttribute(pci + "/class").value_or("");
        if (!startsWith(deviceClass, "0x03"))
            continue;  // not a display controller's: a sensor's, a touchpad's, memory's
        a.driver = linkTargetName(pci + "/driver").value_or("");
        a.connector = connectorAbove(a.folder);
        a.excluded = whyExcluded(a);
        adapters.push_back(std::move(a));
    }
    std::sort(adapters.begin(), adapters.end(),
              [](const auto& x, const auto& y) { return x.bus < y.bus; });
    return adapters;
}

}  // namespace platform::linux_machine
