// The display backlights as resolved once and kept: the ordered list, each
// backlight's maximum and an open file for its `brightness`, the identity of
// the connector it lights, and which display identifiers name a built-in
// connector. Everything is forgotten when a check (refresh) finds that a
// backlight or connector came or went (DisplayDeviceChanges), and on request
// when a device turned out to be gone. A fade step then costs one write to the
// panel, not a sysfs walk.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/CGTypes.h"
#include "base/IOKitTypes.h"
#include "formats/Edid.h"
#include "linux/displays/Backlights.h"
#include "linux/displays/DisplayDeviceChanges.h"

namespace platform::linux_machine {

// One backlight with its `brightness` file held open: the one writer of a
// backlight's raw value, for the built-in panel and for the monitors of the
// kernel's appledisplay driver alike. A write that the file refuses may go
// through systemd-logind, which lets the user of the active local session
// change a backlight (LogindBrightness.h).
class OpenBacklight {
  public:
    // What this process last wrote, and the fraction it stood for.
    struct Written {
        long long raw = 0;
        float fraction = 0.0f;
    };

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
    IOReturn readRaw(long long* raw) const;
    // brightness / max_brightness. While the backlight still holds the raw
    // value this process last wrote, the fraction that write stood for: a
    // panel of 15 steps shows 0.5 as 7/15, and a reading that the last write
    // explains is not another program's change.
    IOReturn readFraction(float* fraction) const;
    // What `raw` stands for: the fraction of the last write when that write
    // explains it, else raw / max.
    float fractionOf(long long raw) const;
    // This process's last write explains the backlight holding `raw`.
    bool lastWriteExplains(long long raw) const;
    enum class Refused { Fail, AskLogind };
    IOReturn writeRaw(long long raw, Refused refused = Refused::AskLogind);
    // The fraction's raw value (Backlights.h, backlightRawValue), written.
    IOReturn writeFraction(double fraction, Refused refused = Refused::AskLogind);

    const std::optional<Written>& lastWrite() const { return lastWrite_; }
    // The last write went to systemd-logind, which refused it.
    bool refusedByLogind() const { return refusedByLogind_; }
    void rememberWrite(const std::optional<Written>& written) { lastWrite_ = written; }

  private:
    Backlight backlight_;
    long long max_;
    int fd_;
    bool writable_;
    std::optional<Written> lastWrite_;
    bool refusedByLogind_ = false;
    bool heldByCompositor_ = false;
};

// True for a status that says the device itself is no longer there.
bool deviceGone(IOReturn status);

class KeptBacklights {
  public:
    // Forgets what was kept when a backlight or connector came or went since
    // the last check. Each check reads the device events pending, so it is
    // made where the list of devices matters, not at each device call.
    void refresh();
    void forget();
    // The backlights' change events, as they come (DisplayDeviceChanges).
    bool watchBacklightChanges(std::function<void()> readable) {
        return changes_.watch(std::move(readable));
    }
    void unwatchBacklightChanges() { changes_.unwatch(); }
    std::vector<DeviceEvent> takeBacklightChanges() { return changes_.takeBacklightChanges(); }

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
    // Each backlight's last write, kept when the opened files are let go.
    std::map<std::string, OpenBacklight::Written> lastWrites_;
};

}  // namespace platform::linux_machine
