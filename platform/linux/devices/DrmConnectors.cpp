#include "linux/devices/DrmConnectors.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <tuple>

#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"

namespace platform::linux_machine {
namespace {

std::string drmClassFolder() {
    return underSysroot("/sys/class/drm");
}

// `withState`: also read whether it is active (two more file reads).
DrmConnector describe(const std::string& name, int card, const std::string& type,
                      bool withState = true) {
    DrmConnector c;
    c.name = name;
    c.type = type;
    c.card = card;
    c.builtin = isBuiltinConnectorType(type);
    c.folder = drmClassFolder() + "/" + name;
    c.id = displayIdentifierFor(name);
    c.active = withState && readAttribute(c.folder + "/status") == "connected" &&
               readAttribute(c.folder + "/enabled") == "enabled";
    return c;
}

}  // namespace

bool parseConnectorName(const std::string& name, int* card, std::string* type) {
    if (name.rfind("card", 0) != 0)
        return false;
    std::size_t i = 4;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])))
        ++i;
    if (i == 4 || i >= name.size() || name[i] != '-' || i - 4 > 6)
        return false;
    std::string rest = name.substr(i + 1);
    auto dash = rest.find_last_of('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 >= rest.size())
        return false;
    *card = std::stoi(name.substr(4, i - 4));
    *type = rest.substr(0, dash);
    return true;
}

bool isBuiltinConnectorType(const std::string& type) {
    return type == "eDP" || type == "LVDS" || type == "DSI";
}

namespace {

// The kernel's connector type names, numbered as its DRM_MODE_CONNECTOR_* values.
constexpr const char* kConnectorTypes[] = {
    "Unknown", "VGA",       "DVI-I", "DVI-D", "DVI-A",     "Composite", "SVIDEO",
    "LVDS",    "Component", "DIN",   "DP",    "HDMI-A",    "HDMI-B",    "TV",
    "eDP",     "Virtual",   "DSI",   "DPI",   "Writeback", "SPI",       "USB"};
constexpr int kTypeCount = sizeof kConnectorTypes / sizeof kConnectorTypes[0];

int typeCode(const std::string& type) {
    for (int i = 1; i < kTypeCount; ++i) {
        if (type == kConnectorTypes[i])
            return i;
    }
    return 0;
}

// The name a structured identifier stands for, or absent for a hashed one.
std::optional<std::string> nameOf(CGDirectDisplayID id) {
    if (id & 0x80000000u)
        return std::nullopt;
    int code = static_cast<int>(id >> 24);
    if (code <= 0 || code >= kTypeCount)
        return std::nullopt;
    return "card" + std::to_string((id >> 16) & 0xFF) + "-" + kConnectorTypes[code] + "-" +
           std::to_string(id & 0xFFFF);
}

}  // namespace

CGDirectDisplayID displayIdentifierFor(const std::string& connectorName) {
    // Known types: type code, card and index in one number, so the name can be
    // had back without looking through the folder.
    int card = 0;
    std::string type;
    if (parseConnectorName(connectorName, &card, &type)) {
        auto dash = connectorName.find_last_of('-');
        const std::string indexText = connectorName.substr(dash + 1);
        int code = typeCode(type);
        bool digits = !indexText.empty() && indexText.size() <= 5 &&
                      indexText.find_first_not_of("0123456789") == std::string::npos;
        if (code && digits && card <= 0xFF && std::stoi(indexText) <= 0xFFFF) {
            return static_cast<CGDirectDisplayID>(code) << 24 |
                   static_cast<CGDirectDisplayID>(card) << 16 |
                   static_cast<CGDirectDisplayID>(std::stoi(indexText));
        }
    }
    // Anything else: a 31-bit FNV-1a hash of the name, marked by the top bit.
    std::uint32_t h = 2166136261u;
    for (unsigned char ch : connectorName) {
        h ^= ch;
        h *= 16777619u;
    }
    return 0x80000000u | (h & 0x7FFFFFFFu);
}

DrmConnectorList listDrmConnectors() {
    DrmConnectorList list;
    int error = 0;
    auto names = folderEntries(drmClassFolder(), &error);
    list.readable = error == 0;
    using Key = std::tuple<int, long long, std::string>;
    std::vector<std::pair<Key, DrmConnector>> sorted;
    for (const auto& name : names) {
        int card = 0;
        std::string type;
        if (!parseConnectorName(name, &card, &type))
            continue;
        DrmConnector c = describe(name, card, type);
        long long connectorId = readCount(c.folder + "/connector_id").value_or(LLONG_MAX);
        sorted.emplace_back(Key{card, connectorId, name}, std::move(c));
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : sorted)
        list.connectors.push_back(std::move(entry.second));
    return list;
}

std::optional<DrmConnector> findDrmConnector(CGDirectDisplayID id) {
    if (id == 0)
        return std::nullopt;
    if (auto name = nameOf(id)) {
        // Nothing is read but whether it exists (`active` is not filled in).
        int card = 0;
        std::string type;
        if (!parseConnectorName(*name, &card, &type))
            return std::nullopt;
        if (!pathExists(drmClassFolder() + "/" + *name))
            return std::nullopt;
        return describe(*name, card, type, false);
    }
    for (const auto& name : folderEntries(drmClassFolder())) {
        int card = 0;
        std::string type;
        if (parseConnectorName(name, &card, &type) && displayIdentifierFor(name) == id) {
            return describe(name, card, type, false);
        }
    }
    return std::nullopt;
}

std::optional<DrmConnector> findDrmConnectorNamed(const std::string& name) {
    int card = 0;
    std::string type;
    if (!parseConnectorName(name, &card, &type))
        return std::nullopt;
    if (!pathExists(drmClassFolder() + "/" + name))
        return std::nullopt;
    return describe(name, card, type);
}

EdidIdentity connectorIdentity(const DrmConnector& connector) {
    auto bytes = readBinaryFile(connector.folder + "/edid", 32768);
    if (!bytes)
        return {};
    return parseEdid(*bytes).value_or(EdidIdentity{});
}

}  // namespace platform::linux_machine
