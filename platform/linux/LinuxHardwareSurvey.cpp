#include "linux/LinuxHardwareSurvey.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "linux/AppleDisplayMonitors.h"
#include "linux/AppleSMCLight.h"
#include "linux/Backlights.h"
#include "linux/DrmConnectors.h"
#include "linux/HidID.h"
#include "linux/HidReportDescriptor.h"
#include "linux/IIOLightSensor.h"
#include "linux/LogindBrightness.h"
#include "linux/SensorProxyClient.h"
#include "linux/SysfsFiles.h"
#include "linux/Sysroot.h"

namespace platform::linux_machine {
namespace {

using Kind = HardwareFinding::Kind;

std::string hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

std::string lux(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f lux", value);
    return text;
}

// --- displays ---

void surveyDisplays(std::vector<HardwareFinding>& out) {
    auto list = listDrmConnectors();
    const std::string folder = underSysroot("/sys/class/drm");
    if (!list.readable) {
        out.push_back({Kind::Display, "(none)", false, folder + " cannot be read"});
        return;
    }
    if (list.connectors.empty()) {
        out.push_back(
            {Kind::Display, "(none)", false,
             "no display output in " + folder + " (no graphics driver with kernel mode setting?)"});
        return;
    }
    for (const auto& c : list.connectors) {
        std::string detail = c.builtin ? "built-in panel" : "external output";
        if (!c.active) {
            out.push_back(
                {Kind::Display, c.name, false, detail + ", not connected or switched off"});
            continue;
        }
        auto id = connectorIdentity(c);
        detail += id.vendor || id.product
                      ? ", EDID vendor " + hex4(id.vendor) + " model " + hex4(id.product)
                      : ", no readable EDID";
        out.push_back({Kind::Display, c.name, true, detail});
    }
}

// --- backlights ---

// `folder`: the backlight's class entry.
std::string backlightRoad(const std::string& folder, bool* usable) {
    const std::string file = folder + "/brightness";
    if (writableAttribute(file)) {
        *usable = true;
        return "written directly";
    }
    if (logindSessionCanSetBrightness()) {
        *usable = true;
        return "written through systemd-logind (" + file + " is not writable for this user)";
    }
    *usable = false;
    return file + " is not writable for this user and no active systemd-logind session can set it";
}

void surveyBacklights(std::vector<HardwareFinding>& out) {
    auto backlights = listBacklights();
    if (backlights.empty()) {
        out.push_back({Kind::Backlight, "(none)", false,
                       "no display backlight in " + underSysroot("/sys/class/backlight")});
        return;
    }
    for (const auto& b : backlights) {
        // A lone backlight is listed without its type when its parent device told all.
        std::string type =
            b.type.empty() ? readAttribute(b.folder + "/type").value_or("type unreadable") : b.type;
        std::string detail = (b.builtin ? "built-in panel" : "other panel") +
                             (b.connector ? " " + *b.connector : std::string()) + ", " + type;
        long long max = 0;
        if (readBacklightMax(b, &max) != kIOReturnSuccess || max <= 0) {
            out.push_back({Kind::Backlight, b.name, false, detail + ", max_brightness unreadable"});
            continue;
        }
        bool usable = false;
        std::string road = backlightRoad(b.folder, &usable);
        out.push_back({Kind::Backlight, b.name, usable,
                       detail + ", 0 to " + std::to_string(max) + ", " + road});
    }
}

// --- USB monitors ---

const UsbDeviceID* listed(const std::vector<UsbDeviceID>& monitors, std::int32_t vendor,
                          std::int32_t product) {
    for (const auto& m : monitors)
        if (m.vendor == vendor && m.product == product)
            return &m;
    return nullptr;
}

// What the caller makes of the interface behind a hidraw node, from the
// fields its report descriptor declares (none when it cannot be read).
bool judgedInterface(const UsbDeviceID& monitor, const std::string& hidrawEntry,
                     std::string* detail) {
    if (!monitor.judgeInterface)
        return true;
    std::vector<__IOHIDElement> fields;
    if (auto descriptor = readBinaryFile(hidrawEntry + "/device/report_descriptor", 4096))
        fields = hidReportElements(*descriptor);
    std::vector<IOHIDElementRef> elements;
    for (const auto& f : fields)
        elements.push_back(&f);
    std::string judged;
    const bool used = monitor.judgeInterface(elements, &judged);
    *detail += ", " + judged;
    return used;
}

// The vendor and product of the HID device behind a hidraw node.
bool hidIDs(const std::string& hidrawEntry, std::int32_t* vendor, std::int32_t* product) {
    auto uevent = readBinaryFile(hidrawEntry + "/device/uevent", 8192);
    if (!uevent)
        return false;
    auto id = parseHidID(
        std::string_view(reinterpret_cast<const char*>(uevent->data()), uevent->size()));
    if (!id)
        return false;
    *vendor = id->vendor;
    *product = id->product;
    return true;
}

std::string nodeAccess(const std::string& node, bool* usable) {
    int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        *usable = true;
        return "read and write";
    }
    int error = errno;
    *usable = false;
    if (error == EACCES || error == EPERM)
        return "permission denied on " + node +
               " (the udev rule 70-duolume.rules gives the user of the active local session "
               "access)";
    if (error == ENOENT)
        return "no device node " + node;
    return node + ": " + std::strerror(error);
}

void surveyMonitors(const std::vector<UsbDeviceID>& monitors, std::vector<HardwareFinding>& out) {
    const auto before = out.size();
    const std::string hidraw = underSysroot("/sys/class/hidraw");
    for (const auto& name : folderEntries(hidraw)) {
        std::int32_t vendor = 0, product = 0;
        const UsbDeviceID* monitor = nullptr;
        if (!hidIDs(hidraw + "/" + name, &vendor, &product) ||
            !(monitor = listed(monitors, vendor, product)))
            continue;
        std::string detail = "product " + hex4(product);
        if (!judgedInterface(*monitor, hidraw + "/" + name, &detail)) {
            out.push_back({Kind::Monitor, name, false, detail});
            continue;
        }
        bool usable = false;
        detail += ", " + nodeAccess(underSysroot("/dev/" + name), &usable);
        out.push_back({Kind::Monitor, name, usable, detail});
    }
    for (const auto& m : findAppleDisplayMonitors()) {
        if (!listed(monitors, m.vendor, m.product))
            continue;
        bool usable = false;
        std::string road = backlightRoad(m.backlight, &usable);
        if (!usable)
            road += " (the udev rule lets group video write it)";
        out.push_back({Kind::Monitor, baseName(m.backlight), usable,
                       "product " + hex4(m.product) + ", appledisplay driver, " + road});
    }
    if (out.size() == before)
        out.push_back({Kind::Monitor, "(none)", false,
                       "none attached (looked in " + hidraw + " and for appledisplay backlights)"});
}

// --- light sensors ---

void surveyLightSensors(std::vector<HardwareFinding>& out) {
    SensorProxyClient proxy;
    auto proxied = proxy.read();
    switch (proxied.status) {
        case SensorProxyClient::Status::Reading:
            out.push_back({Kind::LightSensor, "iio-sensor-proxy", proxied.lux.has_value(),
                           proxied.lux ? "reads " + lux(*proxied.lux) : "gives a garbled level"});
            break;
        case SensorProxyClient::Status::NotLux:
            out.push_back(
                {Kind::LightSensor, "iio-sensor-proxy", false, "reports in another unit than lux"});
            break;
        case SensorProxyClient::Status::Unavailable:
            out.push_back({Kind::LightSensor, "iio-sensor-proxy", false,
                           "not running, or no system bus, or it has no light sensor"});
            break;
    }
    if (auto device = IIOLightSensor::findDevice()) {
        auto level = IIOLightSensor::readLux(*device);
        out.push_back(
            {Kind::LightSensor, "IIO " + baseName(*device), level.has_value(),
             level ? "reads " + lux(*level) : "its illuminance files are unreadable or garbled"});
    } else {
        out.push_back(
            {Kind::LightSensor, "IIO", false,
             "no device with an illuminance channel in " + underSysroot("/sys/bus/iio/devices")});
    }
    const std::string smc = AppleSMCLight::attributePath();
    if (!AppleSMCLight::present()) {
        out.push_back({Kind::LightSensor, "Apple SMC", false,
                       "no applesmc device with a light attribute in " +
                           underSysroot("/sys/bus/platform") +
                           " (not an Intel Mac, or applesmc not loaded)"});
    } else if (auto values = AppleSMCLight::read()) {
        out.push_back({Kind::LightSensor, "Apple SMC", true,
                       "reads (" + std::to_string(values->left) + "," +
                           std::to_string(values->right) + ") from " + smc});
    } else {
        out.push_back({Kind::LightSensor, "Apple SMC", false, smc + " is unreadable or garbled"});
    }
}

}  // namespace

std::vector<HardwareFinding> surveyLinuxHardware(const std::vector<UsbDeviceID>& monitors) {
    std::vector<HardwareFinding> out;
    surveyDisplays(out);
    surveyBacklights(out);
    surveyMonitors(monitors, out);
    surveyLightSensors(out);
    return out;
}

}  // namespace platform::linux_machine
