// The real gnome-settings-daemon power plug-in (Debian's gsd-power: 43 on
// Debian 12, 48 on Debian 13), run as its own test suite runs it
// (plugins/power/test.py and tests/gsdtestcase.py at 43.0): a umockdev test
// bed with the panel's DRM connector and its raw backlight (and an IIO light
// sensor for the agent), python3-dbusmock's logind and upower on the test's
// private system bus, a stand-in for gnome-session's manager
// (desktop-fakes/gnome_session_manager.py) and dbusmock's gnome_screensaver on
// its private session bus, Xvfb and `mutter --x11` for its display (its
// screen comes from mutter's DisplayConfig), and GSD_BACKLIGHT_HELPER for its
// writes, as the suite's test-backlight-helper: the value into the device's
// brightness file. Settings in GSettings' memory back-end. The test's
// PrivateBus of each kind must exist first.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace testing_support {

class RealGsdPower {
  public:
    // Empty when this machine can run it; else why not.
    static std::string whyNotRunnable();

    // The panel's backlight: `max` steps, at `value`.
    RealGsdPower(long max, long value);
    ~RealGsdPower();
    RealGsdPower(const RealGsdPower&) = delete;
    RealGsdPower& operator=(const RealGsdPower&) = delete;

    // Starts everything, then the plug-in, and waits until it answers its
    // Brightness; false with what went wrong in `why`.
    bool start(std::string* why);
    // The plug-in alone ends (its name goes), and comes back.
    void stopPlugin();
    bool startPlugin(std::string* why);

    // The test bed's root: a machine for PLATFORM_SYSROOT.
    const std::string& root() const { return root_; }
    long backlight() const;
    void setLux(double lux);
    // The plug-in's Brightness (percent), absent when it does not answer.
    std::optional<int> brightness() const;
    // The brightness keys, through the plug-in (Power.Screen's StepUp).
    bool stepUp() const;
    std::string log() const;

  private:
    bool waitForPlugin(std::string* why);

    TempDir dir_;
    long max_, value_;
    std::string root_;
    std::string display_;
    std::unique_ptr<ChildProcess> logind_, upower_, session_, screensaver_, xvfb_, mutter_, bed_;
};

}  // namespace testing_support
