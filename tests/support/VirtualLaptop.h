// A laptop made of ordinary files in a folder, shaped like the real sysfs:
// devices live under sys/devices/..., class entries (sys/class/drm,
// backlight, hidraw) are relative symbolic links to them, as the kernel makes
// them. Point PLATFORM_SYSROOT at root() and the Linux machine takes it for
// the computer it runs on.
//
// Monitors on hidraw get their sysfs side here; their /dev nodes are served
// by FuseHidraw mounted on devFolder().
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace testing_support {

class VirtualLaptop {
  public:
    static constexpr std::uint16_t kAppleVendor = 0x05AC;

    explicit VirtualLaptop(std::string root);

    const std::string& root() const { return root_; }
    std::string devFolder() const { return root_ + "/dev"; }

    // --- Display outputs (DRM connectors) -------------------------------
    struct Connector {
        int card = 0;
        std::string name = "eDP-1";  // type and index, as in "card0-eDP-1"
        bool connected = true;
        bool enabled = true;
        std::optional<std::vector<std::uint8_t>> edid;  // no edid file when absent
        int connectorId = 0;                            // no connector_id file when 0
        int ddcBus = -1;  // with a "ddc" link to adapter i2c-<ddcBus> when not negative
        std::string dpms = "On";
    };
    // Returns the connector's full name ("card0-eDP-1").
    std::string addConnector(const Connector& connector);
    void setConnectorState(const std::string& fullName, bool connected, bool enabled);
    std::string connectorFolder(const std::string& fullName) const;

    // A valid 128-byte EDID base block. `manufacturer` is three letters ("APP");
    // `name` goes into a display product name descriptor.
    static std::vector<std::uint8_t> makeEdid(const std::string& manufacturer,
                                              std::uint16_t product, std::uint32_t serial,
                                              const std::string& name = {});

    // --- Monitors on the video outputs' DDC buses ---------------------------
    // An I2C adapter i2c-<bus> named `name` in the folder `parent` (a card's
    // PCI device folder, cardFolder(), or a connector's, connectorFolder()),
    // with its i2c-dev entry for /dev/i2c-<bus>, which FuseI2cBus serves.
    // Returns the adapter's folder.
    std::string addI2cAdapter(int bus, const std::string& name, const std::string& parent);
    void removeI2cAdapter(int bus);
    // The kernel's ddcci driver claiming the monitor on i2c-<bus>: its I2C
    // client <bus>-0037, its device ddcci<bus> and that device's backlight
    // ddcci<bus> (raw, 0 to `max`). Returns the backlight's brightness file.
    std::string addDdcciBacklight(int bus, long max, long value);
    // The card's PCI device folder, a display controller (class 0x030000)
    // bound to `driver` ("i915", "amdgpu", "nvidia").
    std::string cardFolder(int card) const;
    void setCardDriver(int card, const std::string& driver);
    // A connected DisplayPort output card0-<name> with `edid` whose AUX
    // adapter i2c-<bus> sits below it and is named in its "ddc" link, as
    // i915 makes them since Linux 6.7; its class entry made last, as a
    // monitor on a DisplayPort hub appears. Returns the connector's full name.
    std::string addDdcMonitor(const std::string& name, int bus, std::vector<std::uint8_t> edid);
    // The output and its adapter go, as when that monitor is unplugged.
    void removeDdcMonitor(const std::string& fullName, int bus);
    // The 16-bit manufacturer number of three letters, as a display reports it.
    static std::uint32_t manufacturerNumber(const std::string& manufacturer);

    // The usual pieces: the built-in panel card0-eDP-1 (EDID APP/0xa045) and
    // the output an external monitor's picture arrives on, card0-DP-1 (EDID
    // APP/0x9226), both active. Return the connectors' full names.
    std::string addBuiltinPanel();
    std::string addExternalOutput();

    // --- Backlights -------------------------------------------------------
    // A raw backlight whose device is a connector ("intel_backlight").
    void addConnectorBacklight(const std::string& name, const std::string& connectorFullName,
                               long max, long value);
    // A backlight of a graphics card: firmware ("acpi_video0") or raw ("amdgpu_bl0").
    void addCardBacklight(const std::string& name, const std::string& type, int card, long max,
                          long value);
    // A platform backlight ("apple_backlight").
    void addPlatformBacklight(const std::string& name, long max, long value);
    void removeBacklight(const std::string& name);
    std::string backlightFile(const std::string& name, const std::string& attribute) const;
    long backlightValue(const std::string& name) const;
    void setBacklightValue(const std::string& name, long value);

    // --- USB monitors -----------------------------------------------------
    // The sysfs side of a HID device on /dev/hidraw<node>; returns the node's path.
    std::string addHidrawDevice(int node, std::uint16_t product,
                                std::vector<std::uint8_t> descriptor = appleMonitorDescriptor(),
                                std::uint16_t vendor = kAppleVendor);
    void removeHidrawDevice(int node);
    std::string hidrawNode(int node) const;
    // A monitor claimed by the appledisplay driver: backlight appledisplay<index>.
    // As the driver registers it, the backlight has no parent
    // (sys/devices/virtual/backlight) and the monitor's USB interface is bound
    // to the driver; with `underUsbInterface` the backlight sits below the
    // interface instead. Its USB device sits on port `port` (100 + index when 0),
    // its interface named "1-<port>:1.0".
    void addAppleDisplay(int index, std::uint16_t product, long max = 255, long value = 128,
                         bool underUsbInterface = false, int port = 0);
    void removeAppleDisplay(int index, int port = 0);

    // --- Ambient light -----------------------------------------------------
    // Both sensors a laptop may have: the Apple SMC's pair of 8-bit values
    // (both set to `smcValue`, 0..255) and an IIO light sensor reading `lux`.
    // The SMC is the applesmc driver's platform device `smcDevice`.
    void setAmbientLight(int smcValue, double lux, const std::string& smcDevice = "applesmc.768");
    // The SMC's light file, on platform device `smcDevice`, or the one
    // registerSMC() named last (applesmc.768 before).
    std::string smcLightFile(const std::string& smcDevice = {}) const;
    void writeSMCLight(const std::string& content) { writeFile(smcLightFile(), content); }
    // Registers the SMC as platform device `device` announcing the driver in
    // its uevent, and with `bound` also bound to it (the driver's folder
    // links to it), as the driver registers its device.
    void registerSMC(const std::string& device, bool bound = true);
    // The SMC reading that gives about `level`: the Linux machine spreads
    // 0..255 evenly over the levels 0..10.
    static int smcLightForLevel(double level);
    // An IIO light sensor alone (no SMC) as iio:device<number>, reading `lux`.
    void setIIOLight(double lux, int number = 0);
    // It goes, as a device that did not come back from a suspend.
    void removeIIOLight(int number = 0);
    std::string iioLightFile(int number = 0) const;
    // Any IIO device by name ("iio:device3"), with any of its files.
    std::string iioDevice(const std::string& name) const { return sys("bus/iio/devices/" + name); }
    // Writes `content` to `file` of IIO device `name`, creating the device.
    void writeIIO(const std::string& name, const std::string& file, const std::string& content) {
        writeFile(iioDevice(name) + "/" + file, content);
    }
    void removeIIO(const std::string& name);

    // --- Time zone and lid ----------------------------------------------------
    // The machine's time zone: /etc/localtime links to the zone's zoneinfo
    // file, as Debian links it, and tzdata's zone1970.tab and zone.tab are
    // there (copies of Debian's, tests/data/tzdata).
    void setTimeZone(const std::string& zone);
    // A zoneinfo file that is only a link to another zone's ("Europe/Oslo").
    void addZoneLink(const std::string& link, const std::string& target);
    // The ACPI lid button's /proc/acpi/button/lid/LID0/state.
    void setLidClosed(bool closed);

    // A report descriptor declaring feature report 16 as one 16-bit field, 0..65535.
    static std::vector<std::uint8_t> appleMonitorDescriptor();
    // Report 16 holding one brightness field `bits` wide, 0 to `maximum`.
    static std::vector<std::uint8_t> reportSixteenDescriptor(std::uint8_t bits,
                                                             std::uint32_t maximum);

  private:
    std::string sys(const std::string& relative) const { return root_ + "/sys/" + relative; }
    std::string adapterFolder(int bus, int card) const;
    std::string backlightFolder(const std::string& name) const;
    void makeBacklight(const std::string& folder, const std::string& deviceFolder,
                       const std::string& type, long max, long value);
    std::string usbDeviceFolder(int port) const;

    std::string root_;
    std::map<int, std::string> adapters_;  // folder by bus
    std::string smc_ = "applesmc.768";     // the SMC's platform device
};

// Makes `linkPath` a relative symbolic link to `target` (both absolute).
void makeRelativeLink(const std::string& target, const std::string& linkPath);

}  // namespace testing_support
