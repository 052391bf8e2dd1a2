// Displays on Linux.
//
// - Active displays are the DRM connectors that are connected and enabled, in
//   card then connector order; eDP, LVDS and DSI connectors are built in. The
//   identity numbers come from each connector's EDID.
// - Display connection services ("IODisplayConnect") are the panel backlights
//   (/sys/class/backlight), each carrying the identity of its connector; their
//   "brightness" parameter is brightness / max_brightness, written through sysfs.
// - DisplayServices is present from the moment a built-in panel has a
//   backlight. It writes through the desktop's own brightness service where
//   the session has one (DesktopBrightness), else sysfs, or asks systemd-logind
//   when the file is not writable for this user; it reads sysfs. Its change
//   notification tells of a change by someone else: a person's change that
//   the desktop reported (BrightnessChangeObservers), and the kernel's change
//   event of the panel's backlight after a hotkey or another program's
//   write, heard on the main run loop while anyone listens. CoreDisplay does
//   not exist on Linux.
//
// The active display list is read afresh at every call. Backlights, their
// maxima and open brightness files, connector identities and which displays
// are built in are resolved once and kept (KeptBacklights) until a backlight
// or connector comes or goes, or a call finds its device gone, which resolves
// it again at once.
//
// Whether devices came or went is checked once per sync, when the active
// display list is asked for (and when the backlights are listed or the panel
// is reported, or the run loop wakes for device events while anyone listens
// for changes by others), not at each read or write: the kernel sends a
// change event after every write of a backlight's brightness, so a check at
// each fade step would read two messages (the step's own event, then "nothing
// more") for nothing. A device removed between two checks is caught by its
// call instead: sysfs answers ENODEV on an open attribute of a removed device
// (kernfs_get_active failing in kernfs_fop_write_iter and kernfs_seq_start, Linux
// fs/kernfs/file.c), and the call resolves it again. A backlight added
// between two checks is used from the next sync on.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "linux/desktop/DesktopBrightness.h"
#include "linux/displays/BrightnessChangeObservers.h"
#include "linux/displays/KeptBacklights.h"
#include "machine/DisplayBackend.h"

namespace platform::linux_machine {

class LinuxDisplays : public DisplayBackend {
  public:
    LinuxDisplays();
    CGError activeDisplays(std::vector<CGDirectDisplayID>& displays) override;
    bool isBuiltin(CGDirectDisplayID display) override;
    std::uint32_t vendorNumber(CGDirectDisplayID display) override;
    std::uint32_t modelNumber(CGDirectDisplayID display) override;
    std::uint32_t serialNumber(CGDirectDisplayID display) override;

    bool hasOperation(OptionalDisplayOperation op) override;
    int displayServicesGetBrightness(CGDirectDisplayID display, float* brightness) override;
    int displayServicesSetBrightness(CGDirectDisplayID display, float brightness) override;
    bool displayServicesCanChangeBrightness(CGDirectDisplayID display) override;
    int displayServicesRegisterForBrightnessChangeNotifications(
        CGDirectDisplayID display, CGDirectDisplayID observer,
        DisplayServicesBrightnessChangeCallback callback) override;
    int displayServicesUnregisterForBrightnessChangeNotifications(
        CGDirectDisplayID display, CGDirectDisplayID observer) override;
    BuiltinBrightnessRoute builtinBrightnessRoute() override;
    std::optional<BuiltinRouteKind> builtinRouteKind(int way) override;
    double coreDisplayGetUserBrightness(CGDirectDisplayID display) override;
    void coreDisplaySetUserBrightness(CGDirectDisplayID display, double brightness) override;

    std::vector<io_service_t> displayConnectServices() override;
    std::optional<PlistDictionary> displayInfoDictionary(io_service_t service,
                                                         IOOptionBits options) override;
    IOReturn getFloatParameter(io_service_t service, IOOptionBits options, const std::string& key,
                               float* value) override;
    IOReturn setFloatParameter(io_service_t service, IOOptionBits options, const std::string& key,
                               float value) override;
    HardwareFinding builtinPanelFinding() override;

  private:
    // A backlight keeps its handle for the life of the process, also after it
    // vanished (its calls then fail).
    io_service_t handleFor(const std::string& backlightName);
    const std::string* backlightNamed(io_service_t service) const;
    // Runs `operation` on the backlight `resolve` gives, and once more on the
    // device resolved afresh when the first try found it gone.
    template <typename Resolve, typename Operation>
    IOReturn onBacklight(Resolve resolve, Operation operation);
    // The same on the kept backlight of `display`, or of the name.
    template <typename Operation>
    IOReturn onBuiltinBacklight(CGDirectDisplayID display, Operation operation);
    template <typename Operation>
    IOReturn onNamedBacklight(const std::string& name, Operation operation);
    // The desktop's brightness service starts looking for `display`'s route.
    void useDesktopFor(CGDirectDisplayID display, const OpenBacklight& backlight);
    // Starts looking for the desktop's way to the built-in display, if there
    // is one, before anything is written to it.
    void lookForTheDesktop();
    void waitForTheDesktopRoute();
    // Writes the backlight where no desktop service took the value.
    IOReturn writeBehindNoDesktop(OpenBacklight& backlight, double brightness);
    // The check for devices come or gone, and the backlights' change events
    // read meanwhile reported where someone else made them.
    void checkDevices();
    // Whether `events` (read together) tell of someone other than this
    // process changing `backlight`: then `changed` holds what it shows now.
    IOReturn backlightChangedByOthers(const OpenBacklight& backlight,
                                      const std::vector<DeviceEvent>& events,
                                      std::optional<double>* changed);

    bool displayServicesPresent_ = false;
    std::map<std::string, io_service_t> handles_;
    std::map<io_service_t, std::string> names_;
    KeptBacklights kept_;
    CGDirectDisplayID desktopDisplay_ = 0;
    bool compositorHoldsBacklightLogged_ = false;
    // Gone before what they use: the thread's reports, the kept backlights.
    BrightnessChangeObservers changes_;
    DesktopBrightness desktop_;
};

}  // namespace platform::linux_machine
