// Display outputs as the kernel's DRM layer lists them in sysfs
// (/sys/class/drm/card<N>-<type>-<index>), with the identity from each one's EDID.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/CGTypes.h"
#include "formats/Edid.h"

namespace platform::linux_machine {

struct DrmConnector {
    std::string name;  // "card0-eDP-1"
    std::string type;  // "eDP", "HDMI-A", ...
    int card = 0;
    bool builtin = false;  // eDP, LVDS and DSI panels
    bool active = false;   // status "connected" and enabled "enabled"
    CGDirectDisplayID id = 0;
    std::string folder;  // the class entry, under the sysroot
};

struct DrmConnectorList {
    bool readable = true;  // false when the DRM class folder exists but cannot be read
    std::vector<DrmConnector> connectors;  // every connector, in display order
};

// All connectors, ordered by card, then the kernel's connector ID (their
// creation order), then name.
DrmConnectorList listDrmConnectors();
// The connector whose display identifier is `id` (its `active` is not read).
std::optional<DrmConnector> findDrmConnector(CGDirectDisplayID id);
// The connector named `name` ("card0-eDP-1").
std::optional<DrmConnector> findDrmConnectorNamed(const std::string& name);
// The identity read from the connector's EDID; 0s when the EDID is missing or damaged.
EdidIdentity connectorIdentity(const DrmConnector& connector);

// A connector's display identifier, made from its name alone, so the same
// output keeps its identifier across runs and hot-plugging: for the kernel's
// connector types the type number, card and index (0x0E000001 for
// "card0-eDP-1"), for any other name a hash with the top bit set. Never 0.
CGDirectDisplayID displayIdentifierFor(const std::string& connectorName);
// Splits "card0-HDMI-A-1" into card 0 and type "HDMI-A"; false for other names.
bool parseConnectorName(const std::string& name, int* card, std::string* type);
bool isBuiltinConnectorType(const std::string& type);

}  // namespace platform::linux_machine
