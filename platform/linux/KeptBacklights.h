// The display backlights as resolved once and kept: the ordered list, each
// backlight's maximum and an open file for its `brightness`, the identity of
// the connector it lights, and which display identifiers name a built-in
// connector. Everything is forgotten when DisplayDeviceChanges reports a
// backlight or connector change, and on request when a device turned out to
// be gone. A fade step then costs one write to the panel, not a sysfs walk.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CoreGraphics/CGTypes.h"
#include "IOKit/IOKitTypes.h"
#include "linux/Backlights.h"
#include "linux/DisplayDeviceChanges.h"
#include "linux/Edid.h"

namespace platform::linux_machine {

// One backlight with its `brightness` file held open.
class OpenBacklight {
  public:
    OpenBacklight(Backlight backlight, long long max, int fd, bool writable);
    ~OpenBacklight();
    OpenBacklight(const OpenBacklight&) = delete;
    OpenBacklight& operator=(const OpenBacklight&) = delete;

    // Opens `brightness` (for writing too where allowed) and reads the
    // maximum; absent with the status of the failure.
    static std::unique_ptr<OpenBacklight> open(const Backlight& backlight, IOReturn* status);

    const Backlight& backlight() const { return backlight_; }
    long long max() const { return max_; }
    bool writable() const { return writable_; }
    IOReturn readFraction(float* fraction) const;
    // kIOReturnNotPermitted when the file could only be opened for reading.
    IOReturn writeRaw(long long raw) const;

  private:
    Backlight backlight_;
    long long max_;
    int fd_;
    bool writable_;
};

// True for a status that says the device itself is no longer there.
bool deviceGone(IOReturn status);

class KeptBacklights {
  public:
    // Forgets what was kept when a change was seen since the last call.
    void refresh();
    void forget();

    const std::vector<Backlight>& list();
    // The backlight named `name`, opened; null with the failure's status.
    OpenBacklight* named(const std::string& name, IOReturn* status);
    // The built-in backlight whose connector is `display`, opened.
    OpenBacklight* builtinOf(CGDirectDisplayID display, IOReturn* status);
    bool isBuiltinDisplay(CGDirectDisplayID display);
    EdidIdentity identityOfConnector(const std::string& connector);

  private:
    DisplayDeviceChanges changes_;
    std::optional<std::vector<Backlight>> list_;
    std::map<std::string, std::unique_ptr<OpenBacklight>> open_;
    std::map<CGDirectDisplayID, std::string> builtinNames_;
    std::map<CGDirectDisplayID, bool> builtinDisplays_;
    std::map<std::string, EdidIdentity> identities_;
};

}  // namespace platform::linux_machine
