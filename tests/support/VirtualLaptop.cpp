#include "support/VirtualLaptop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "sim/SimAVServices.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace testing_support {
namespace {

std::string hex4(unsigned v, bool upper) {
    char buf[8];
    std::snprintf(buf, sizeof buf, upper ? "%04X" : "%04x", v & 0xFFFF);
    return buf;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    writeFile(path, std::string(bytes.begin(), bytes.end()));
}

}  // namespace

void makeRelativeLink(const std::string& target, const std::string& linkPath) {
    fs::create_directories(fs::path(linkPath).parent_path());
    // As the kernel writes them: up from the link's folder to the target's
    // parent, then the target's own name (a parent is "../../name", not "..").
    fs::path relative =
        fs::path(target).parent_path().lexically_relative(fs::path(linkPath).parent_path()) /
        fs::path(target).filename();
    std::error_code ec;
    fs::remove(linkPath, ec);
    fs::create_symlink(relative, linkPath);
}

VirtualLaptop::VirtualLaptop(std::string root) : root_(std::move(root)) {
    for (const char* folder : {"sys/class/drm", "sys/class/backlight", "sys/class/hidraw",
                               "sys/bus/usb/drivers/appledisplay", "sys/devices/platform", "dev"}) {
        fs::create_directories(root_ + "/" + folder);
    }
}

// --- Display outputs ------------------------------------------------------

std::string VirtualLaptop::cardFolder(int card) const {
    char pci[32];
    std::snprintf(pci, sizeof pci, "0000:%02x:00.0", card + 1);
    return sys("devices/pci0000:00/") + pci;
}

std::string VirtualLaptop::connectorFolder(const std::string& fullName) const {
    auto dash = fullName.find('-');
    int card = std::stoi(fullName.substr(4, dash - 4));
    return cardFolder(card) + "/drm/card" + std::to_string(card) + "/" + fullName;
}

std::string VirtualLaptop::adapterFolder(int bus, int card) const {
    auto it = adapters_.find(bus);
    return it != adapters_.end() ? it->second : cardFolder(card) + "/i2c-" + std::to_string(bus);
}

std::string VirtualLaptop::addI2cAdapter(int bus, const std::string& name,
                                         const std::string& parent) {
    const std::string adapterName = "i2c-" + std::to_string(bus);
    std::string adapter = parent + "/" + adapterName;
    fs::create_directories(adapter + "/i2c-dev/" + adapterName);
    writeFile(adapter + "/name", name + "\n");
    writeFile(adapter + "/i2c-dev/" + adapterName + "/name", name + "\n");
    writeFile(adapter + "/i2c-dev/" + adapterName + "/uevent",
              "MAJOR=89\nMINOR=" + std::to_string(bus) + "\nDEVNAME=" + adapterName + "\n");
    makeRelativeLink(adapter + "/i2c-dev/" + adapterName, sys("class/i2c-dev/" + adapterName));
    adapters_[bus] = adapter;
    return adapter;
}

void VirtualLaptop::removeI2cAdapter(int bus) {
    std::error_code ec;
    fs::remove(sys("class/i2c-dev/i2c-" + std::to_string(bus)), ec);
    if (auto it = adapters_.find(bus); it != adapters_.end()) {
        fs::remove_all(it->second, ec);
        adapters_.erase(it);
    }
}

std::string VirtualLaptop::addDdcciBacklight(int bus, long max, long value) {
    const std::string name = "ddcci" + std::to_string(bus);
    const std::string device = adapterFolder(bus, 0) + "/" + std::to_string(bus) + "-0037/" + name;
    fs::create_directories(device);
    makeBacklight(device + "/backlight/" + name, device, "raw", max, value);
    return device + "/backlight/" + name + "/brightness";
}

void VirtualLaptop::setCardDriver(int card, const std::string& driver) {
    const std::string drivers = sys("bus/pci/drivers/" + driver);
    fs::create_directories(drivers);
    fs::create_directories(cardFolder(card));
    writeFile(cardFolder(card) + "/class", "0x030000\n");
    writeFile(cardFolder(card) + "/vendor", "0x10de\n");
    makeRelativeLink(drivers, cardFolder(card) + "/driver");
}

std::string VirtualLaptop::addConnector(const Connector& c) {
    std::string full = "card" + std::to_string(c.card) + "-" + c.name;
    std::string cardDrm = cardFolder(c.card) + "/drm/card" + std::to_string(c.card);
    fs::create_directories(cardDrm);
    writeFile(cardFolder(c.card) + "/class", "0x030000\n");
    writeFile(cardFolder(c.card) + "/vendor", "0x8086\n");
    makeRelativeLink(cardFolder(c.card), cardDrm + "/device");
    makeRelativeLink(cardDrm, sys("class/drm/card" + std::to_string(c.card)));
    std::string folder = connectorFolder(full);
    fs::create_directories(folder);
    writeFile(folder + "/dpms", c.dpms + "\n");
    if (c.edid)
        writeBytes(folder + "/edid", *c.edid);
    if (c.connectorId)
        writeFile(folder + "/connector_id", std::to_string(c.connectorId) + "\n");
    if (c.ddcBus >= 0)
        makeRelativeLink(adapterFolder(c.ddcBus, c.card), folder + "/ddc");
    makeRelativeLink(folder, sys("class/drm/" + full));
    setConnectorState(full, c.connected, c.enabled);
    return full;
}

void VirtualLaptop::setConnectorState(const std::string& fullName, bool connected, bool enabled) {
    std::string folder = connectorFolder(fullName);
    writeFile(folder + "/status", connected ? "connected\n" : "disconnected\n");
    writeFile(folder + "/enabled", enabled ? "enabled\n" : "disabled\n");
}

std::string VirtualLaptop::addBuiltinPanel() {
    return addConnector({.name = "eDP-1", .edid = makeEdid("APP", 0xA045, 0), .connectorId = 77});
}

std::string VirtualLaptop::addExternalOutput() {
    return addConnector(
        {.name = "DP-1", .edid = makeEdid("APP", 0x9226, 0x2A2A2A), .connectorId = 90});
}

std::uint32_t VirtualLaptop::manufacturerNumber(const std::string& m) {
    auto letter = [&](int i) { return static_cast<std::uint32_t>(m.at(i) - 'A' + 1) & 0x1F; };
    return letter(0) << 10 | letter(1) << 5 | letter(2);
}

std::vector<std::uint8_t> VirtualLaptop::makeEdid(const std::string& manufacturer,
                                                  std::uint16_t product, std::uint32_t serial,
                                                  const std::string& name) {
    return platform::sim::makeEdid(manufacturer, product, serial, name);
}

std::string VirtualLaptop::addDdcMonitor(const std::string& name, int bus,
                                         std::vector<std::uint8_t> edid) {
    Connector c;
    c.name = name;
    c.edid = std::move(edid);
    c.ddcBus = bus;
    addI2cAdapter(bus, "AUX " + name + "/DDI " + name + "/PHY " + name,
                  connectorFolder("card0-" + name));
    return addConnector(c);
}

void VirtualLaptop::removeDdcMonitor(const std::string& fullName, int bus) {
    std::error_code ec;
    fs::remove(sys("class/drm/" + fullName), ec);
    removeI2cAdapter(bus);
    fs::remove_all(connectorFolder(fullName), ec);
}

// --- Backlights -------------------------------------------------------------

void VirtualLaptop::makeBacklight(const std::string& folder, const std::string& deviceFolder,
                                  const std::string& type, long max, long value) {
    fs::create_directories(folder);
    writeFile(folder + "/type", type + "\n");
    writeFile(folder + "/max_brightness", std::to_string(max) + "\n");
    writeFile(folder + "/brightness", std::to_string(value) + "\n");
    writeFile(folder + "/actual_brightness", std::to_string(value) + "\n");
    writeFile(folder + "/bl_power", "0\n");
    if (!deviceFolder.empty())
        makeRelativeLink(deviceFolder, folder + "/device");
    makeRelativeLink(folder, sys("class/backlight/" + fs::path(folder).filename().string()));
}

void VirtualLaptop::addConnectorBacklight(const std::string& name, const std::string& connector,
                                          long max, long value) {
    std::string device = connectorFolder(connector);
    makeBacklight(device + "/" + name, device, "raw", max, value);
}

void VirtualLaptop::addCardBacklight(const std::string& name, const std::string& type, int card,
                                     long max, long value) {
    std::string device = cardFolder(card);
    makeBacklight(device + "/backlight/" + name, device, type, max, value);
}

void VirtualLaptop::addPlatformBacklight(const std::string& name, long max, long value) {
    std::string device = sys("devices/platform/" + name);
    makeBacklight(device + "/backlight/" + name, device, "platform", max, value);
}

std::string VirtualLaptop::backlightFolder(const std::string& name) const {
    return fs::canonical(sys("class/backlight/" + name)).string();
}

void VirtualLaptop::removeBacklight(const std::string& name) {
    std::string folder = backlightFolder(name);
    fs::remove(sys("class/backlight/" + name));
    fs::remove_all(folder);
}

std::string VirtualLaptop::backlightFile(const std::string& name,
                                         const std::string& attribute) const {
    return sys("class/backlight/" + name + "/" + attribute);
}

long VirtualLaptop::backlightValue(const std::string& name) const {
    return std::stol(readFile(backlightFile(name, "brightness")));
}

void VirtualLaptop::setBacklightValue(const std::string& name, long value) {
    writeFile(backlightFile(name, "brightness"), std::to_string(value) + "\n");
}

// --- USB monitors ------------------------------------------------------------

std::string VirtualLaptop::usbDeviceFolder(int port) const {
    return sys("devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port));
}

std::string VirtualLaptop::hidrawNode(int node) const {
    return devFolder() + "/hidraw" + std::to_string(node);
}

std::string VirtualLaptop::addHidrawDevice(int node, std::uint16_t product,
                                           std::vector<std::uint8_t> descriptor,
                                           std::uint16_t vendor) {
    std::string usb = usbDeviceFolder(node + 1);
    fs::create_directories(usb);
    writeFile(usb + "/idVendor", hex4(vendor, false) + "\n");
    writeFile(usb + "/idProduct", hex4(product, false) + "\n");
    std::string hid = usb + "/1-" + std::to_string(node + 1) + ":1.0/0003:" + hex4(vendor, true) +
                      ":" + hex4(product, true) + "." + hex4(node + 1, true);
    fs::create_directories(hid);
    writeFile(hid + "/uevent", "DRIVER=hid-generic\nHID_ID=0003:0000" + hex4(vendor, true) +
                                   ":0000" + hex4(product, true) +
                                   "\nHID_NAME=Apple Inc. Display\n");
    writeBytes(hid + "/report_descriptor", descriptor);
    std::string name = "hidraw" + std::to_string(node);
    std::string folder = hid + "/hidraw/" + name;
    fs::create_directories(folder);
    writeFile(folder + "/uevent",
              "MAJOR=240\nMINOR=" + std::to_string(node) + "\nDEVNAME=" + name + "\n");
    makeRelativeLink(hid, folder + "/device");
    // The class entry last: watchers see the device complete.
    makeRelativeLink(folder, sys("class/hidraw/" + name));
    return hidrawNode(node);
}

void VirtualLaptop::removeHidrawDevice(int node) {
    std::error_code ec;
    fs::remove(sys("class/hidraw/hidraw" + std::to_string(node)), ec);
    fs::remove_all(usbDeviceFolder(node + 1), ec);
}

void VirtualLaptop::addAppleDisplay(int index, std::uint16_t product, long max, long value,
                                    bool underUsbInterface, int port) {
    port = port ? port : 100 + index;
    std::string usb = usbDeviceFolder(port);
    fs::create_directories(usb);
    writeFile(usb + "/idVendor", "05ac\n");
    writeFile(usb + "/idProduct", hex4(product, false) + "\n");
    std::string interfaceName = "1-" + std::to_string(port) + ":1.0";
    std::string interface = usb + "/" + interfaceName;
    fs::create_directories(interface);
    std::string driver = sys("bus/usb/drivers/appledisplay");
    makeRelativeLink(driver, interface + "/driver");
    makeRelativeLink(interface, driver + "/" + interfaceName);
    std::string name = "appledisplay" + std::to_string(index);
    if (underUsbInterface) {
        makeBacklight(interface + "/backlight/" + name, interface, "raw", max, value);
    } else {
        makeBacklight(sys("devices/virtual/backlight/" + name), "", "raw", max, value);
    }
}

void VirtualLaptop::removeAppleDisplay(int index, int port) {
    port = port ? port : 100 + index;
    std::string name = "appledisplay" + std::to_string(index);
    std::error_code ec;
    fs::remove(sys("class/backlight/" + name), ec);
    fs::remove_all(sys("devices/virtual/backlight/" + name), ec);
    fs::remove(sys("bus/usb/drivers/appledisplay/1-" + std::to_string(port) + ":1.0"), ec);
    fs::remove_all(usbDeviceFolder(port), ec);
}

void VirtualLaptop::registerSMC(const std::string& smcDevice, bool bound) {
    smc_ = smcDevice;
    const std::string device = sys("devices/platform/" + smcDevice);
    writeFile(device + "/uevent", "DRIVER=applesmc\nMODALIAS=platform:applesmc\n");
    makeRelativeLink(device, sys("bus/platform/devices/" + smcDevice));
    if (bound) {
        const std::string driver = sys("bus/platform/drivers/applesmc");
        fs::create_directories(driver);
        makeRelativeLink(driver, device + "/driver");
        makeRelativeLink(device, driver + "/" + smcDevice);
    }
}

std::string VirtualLaptop::smcLightFile(const std::string& smcDevice) const {
    return sys("devices/platform/" + (smcDevice.empty() ? smc_ : smcDevice) + "/light");
}

int VirtualLaptop::smcLightForLevel(double level) {
    return static_cast<int>(std::clamp(std::lround(level * 25.5), 0L, 255L));
}

void VirtualLaptop::setAmbientLight(int smcValue, double lux, const std::string& smcDevice) {
    if (smcValue < 0 || smcValue > 255)
        throw std::invalid_argument("the SMC prints its light values as 8-bit numbers");
    if (!fs::exists(sys("devices/platform/" + smcDevice + "/uevent")))
        registerSMC(smcDevice);
    writeFile(smcLightFile(smcDevice),
              "(" + std::to_string(smcValue) + "," + std::to_string(smcValue) + ")\n");
    std::string iio = sys("bus/iio/devices/iio:device0");
    writeFile(iio + "/name", "als\n");
    char text[64];
    std::snprintf(text, sizeof text, "%.6f\n", lux);
    writeFile(iio + "/in_illuminance_input", text);
}

std::string VirtualLaptop::iioLightFile(int number) const {
    return sys("bus/iio/devices/iio:device" + std::to_string(number) + "/in_illuminance_input");
}

void VirtualLaptop::setIIOLight(double lux, int number) {
    const std::string iio = sys("bus/iio/devices/iio:device" + std::to_string(number));
    writeFile(iio + "/name", "als\n");
    char text[64];
    std::snprintf(text, sizeof text, "%.6f\n", lux);
    writeFile(iio + "/in_illuminance_input", text);
}

void VirtualLaptop::removeIIOLight(int number) {
    removeIIO("iio:device" + std::to_string(number));
}

void VirtualLaptop::removeIIO(const std::string& name) {
    fs::remove_all(iioDevice(name));
}

void VirtualLaptop::setTimeZone(const std::string& zone) {
    const std::string zoneinfo = root_ + "/usr/share/zoneinfo";
    fs::create_directories(zoneinfo);
    for (const char* table : {"zone1970.tab", "zone.tab"})
        fs::copy_file(std::string(DUOLUME_SOURCE_DIR) + "/tests/data/tzdata/" + table,
                      zoneinfo + "/" + table, fs::copy_options::overwrite_existing);
    if (!fs::exists(fs::symlink_status(zoneinfo + "/" + zone)))
        writeFile(zoneinfo + "/" + zone, "TZif2\n");
    fs::create_directories(root_ + "/etc");
    fs::remove(root_ + "/etc/localtime");
    fs::create_symlink("/usr/share/zoneinfo/" + zone, root_ + "/etc/localtime");
}

void VirtualLaptop::addZoneLink(const std::string& link, const std::string& target) {
    const std::string zoneinfo = root_ + "/usr/share/zoneinfo";
    const std::string path = zoneinfo + "/" + link;
    fs::create_directories(fs::path(path).parent_path());
    if (!fs::exists(zoneinfo + "/" + target))
        writeFile(zoneinfo + "/" + target, "TZif2\n");
    fs::remove(path);
    makeRelativeLink(zoneinfo + "/" + target, path);
}

void VirtualLaptop::setLidClosed(bool closed) {
    writeFile(root_ + "/proc/acpi/button/lid/LID0/state",
              closed ? "state:      closed\n" : "state:      open\n");
}

std::vector<std::uint8_t> VirtualLaptop::appleMonitorDescriptor() {
    return reportSixteenDescriptor(16, 65535);
}

std::vector<std::uint8_t> VirtualLaptop::reportSixteenDescriptor(std::uint8_t bits,
                                                                 std::uint32_t maximum) {
    return {
        0x05,
        0x80,  // Usage Page (Monitor)
        0x09,
        0x01,  // Usage (Monitor Control)
        0xA1,
        0x01,  // Collection (Application)
        0x85,
        0x10,  //   Report ID (16)
        0x05,
        0x82,  //   Usage Page (VESA Virtual Controls)
        0x09,
        0x10,  //   Usage (Brightness)
        0x15,
        0x00,  //   Logical Minimum (0)
        0x27,  //   Logical Maximum, four bytes so that it is never read as negative
        static_cast<std::uint8_t>(maximum),
        static_cast<std::uint8_t>(maximum >> 8),
        static_cast<std::uint8_t>(maximum >> 16),
        static_cast<std::uint8_t>(maximum >> 24),
        0x75,
        bits,  //   Report Size
        0x95,
        0x01,  //   Report Count (1)
        0xB1,
        0x02,  //   Feature (Data, Variable, Absolute)
        0xC0,  // End Collection
    };
}

}  // namespace testing_support
