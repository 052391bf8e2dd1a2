#include "linux/DrmConnectors.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <tuple>

#include "linux/SysfsFiles.h"
#include "linux/Sysroot.h"

namespace platform::linux_machine {
namespace {

std::string drmClassFolder() { return underSysroot("/sys/class/drm"); }

DrmConnector describe(const std::string& name, int card, const std::string& type) {
    DrmConnector c;
    c.name = name;
    c.type = type;
    c.card = card;
    c.builtin = isBuiltinConnectorType(type);
    c.folder = drmClassFolder() + "/" + name;
    c.id = displayIdentifierFor(name);
    c.active = readAttribute(c.folder + "/status") == "connected" &&
               readAttribute(c.folder + "/enabled") == "enabled";
    return c;
}

}  // namespace

bool parseConnectorName(const std::string& name, int* card, std::string* type) {
    if (name.rfind("card", 0) != 0) return false;
    std::size_t i = 4;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
    if (i == 4 || i >= name.size() || name[i] != '-' || i - 4 > 6) return false;
    std::string rest = name.substr(i + 1);
    auto dash = rest.find_last_of('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 >= rest.size()) return false;
    *card = std::stoi(name.substr(4, i - 4));
    *type = rest.substr(0, dash);
    return true;
}

bool isBuiltinConnectorType(const std::string& type) {
    return type == "eDP" || type == "LVDS" || type == "DSI";
}

CGDirectDisplayID displayIdentifierFor(const std::string& connectorName) {
    // 32-bit FNV-1a.
    std::uint32_t h = 2166136261u;
    for (unsigned char ch : connectorName) {
        h ^= ch;
        h *= 16777619u;
    }
    return h == 0 ? 1 : h;
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
        if (!parseConnectorName(name, &card, &type)) continue;
        DrmConnector c = describe(name, card, type);
        long long connectorId = readCount(c.folder + "/connector_id").value_or(LLONG_MAX);
        sorted.emplace_back(Key{card, connectorId, name}, std::move(c));
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : sorted) list.connectors.push_back(std::move(entry.second));
    return list;
}

std::optional<DrmConnector> findDrmConnector(CGDirectDisplayID id) {
    if (id == 0) return std::nullopt;
    // Only names are hashed during the search; the matching connector alone is read.
    for (const auto& name : folderEntries(drmClassFolder())) {
        int card = 0;
        std::string type;
        if (parseConnectorName(name, &card, &type) && displayIdentifierFor(name) == id) {
            return describe(name, card, type);
        }
    }
    return std::nullopt;
}

std::optional<DrmConnector> findDrmConnectorNamed(const std::string& name) {
    int card = 0;
    std::string type;
    if (!parseConnectorName(name, &card, &type)) return std::nullopt;
    if (!pathExists(drmClassFolder() + "/" + name)) return std::nullopt;
    return describe(name, card, type);
}

EdidIdentity connectorIdentity(const DrmConnector& connector) {
    auto bytes = readBinaryFile(connector.folder + "/edid", 32768);
    if (!bytes) return {};
    return parseEdid(*bytes).value_or(EdidIdentity{});
}

}  // namespace platform::linux_machine
