#include "linux/light/AppleSMCLight.h"

#include <charconv>
#include <mutex>

#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

constexpr const char* kDriverName = "applesmc";
// The driver registers its own device as "applesmc" with the data port 0x300
// as its id (drivers/hwmon/applesmc.c, platform_device_register_simple).
constexpr const char* kUsualDevice = "/sys/devices/platform/applesmc.768";

// A whole decimal number 0..255 filling `text`.
std::optional<std::uint8_t> parseByte(std::string_view text) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

bool hasLight(const std::string& folder) {
    return pathExists(folder + "/light");
}

// The devices bound to the driver are links in its folder, beside bind,
// unbind, uevent and module.
std::optional<std::string> boundToDriver() {
    const std::string driver = underSysroot("/sys/bus/platform/drivers/") + kDriverName;
    for (const auto& name : folderEntries(driver)) {
        auto folder = resolvedPath(driver + "/" + name);
        if (folder && hasLight(*folder))
            return folder;
    }
    return std::nullopt;
}

bool announcesTheDriver(const std::string& device) {
    if (linkTargetName(device + "/driver") == kDriverName)
        return true;
    auto uevent = readTextFile(device + "/uevent");
    return uevent && (uevent->rfind("MODALIAS=platform:applesmc\n", 0) == 0 ||
                      uevent->find("\nMODALIAS=platform:applesmc\n") != std::string::npos);
}

std::optional<std::string> announcingTheDriver() {
    const std::string bus = underSysroot("/sys/bus/platform/devices");
    for (const auto& name : folderEntries(bus)) {
        const std::string device = bus + "/" + name;
        if (announcesTheDriver(device) && hasLight(device))
            return resolvedPath(device);
    }
    return std::nullopt;
}

std::optional<std::string> lookForTheDevice() {
    if (auto folder = boundToDriver())
        return folder;
    if (auto folder = announcingTheDriver())
        return folder;
    const std::string usual = underSysroot(kUsualDevice);
    if (hasLight(usual))
        return usual;
    return std::nullopt;
}

// The folder found last, under the root it was found in. The light is read
// once a second; searching the platform bus each time would cost dozens of
// system calls for a device that stays where it is while it exists, so the
// search runs again only when that folder has lost its light attribute.
std::mutex foundMutex;
std::string foundRoot;
std::string foundFolder;

std::optional<std::string> lastFound() {
    std::lock_guard<std::mutex> lock(foundMutex);
    if (foundFolder.empty() || foundRoot != sysroot())
        return std::nullopt;
    return foundFolder;
}

std::optional<std::string> lookAgain() {
    auto folder = lookForTheDevice();
    std::lock_guard<std::mutex> lock(foundMutex);
    foundRoot = sysroot();
    foundFolder = folder.value_or("");
    return folder;
}

}  // namespace

std::optional<std::string> AppleSMCLight::deviceFolder() {
    if (auto folder = lastFound(); folder && hasLight(*folder))
        return folder;
    return lookAgain();
}

std::string AppleSMCLight::attributePath() {
    return deviceFolder().value_or(underSysroot(kUsualDevice)) + "/light";
}

bool AppleSMCLight::present() {
    return deviceFolder().has_value();
}

std::optional<SMCLightValues> AppleSMCLight::parse(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.size() < 5 || text.front() != '(' || text.back() != ')')
        return std::nullopt;
    text = text.substr(1, text.size() - 2);
    auto comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    auto left = parseByte(text.substr(0, comma));
    auto right = parseByte(text.substr(comma + 1));
    if (!left || !right)
        return std::nullopt;
    return SMCLightValues{*left, *right};
}

std::optional<SMCLightValues> AppleSMCLight::read() {
    std::optional<std::string> text;
    if (auto folder = lastFound())
        text = readTextFile(*folder + "/light");
    if (!text) {
        auto folder = lookAgain();
        if (!folder)
            return std::nullopt;
        text = readTextFile(*folder + "/light");
    }
    if (!text)
        return std::nullopt;
    return parse(*text);
}

}  // namespace platform::linux_machine
