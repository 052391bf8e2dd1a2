// Display connection services: panel backlights, their identity and their
// "brightness" parameter.
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "linux/displays/LinuxDisplays.h"
#include "support/FuseHidraw.h"
#include "support/LaptopOnLinux.h"
#include "support/NoFileOverride.h"

using namespace testing_support;
using platform::linux_machine::LinuxDisplays;

namespace {

class BacklightServices : public LaptopTest {
  protected:
    void SetUp() override {
        VirtualLaptop::Connector panel;
        panel.name = "eDP-1";
        panel.edid = VirtualLaptop::makeEdid("APP", 0xA045, 0);
        builtin = laptop.addConnector(panel);
        VirtualLaptop::Connector hdmi;
        hdmi.name = "HDMI-A-1";
        hdmi.edid = VirtualLaptop::makeEdid("DEL", 0x4097, 31337);
        external = laptop.addConnector(hdmi);
    }

    // The built-in panel's backlight, "intel_backlight" at `value` of `max`, and its service.
    io_service_t panelBacklight(long max = 100, long value = 10) {
        laptop.addConnectorBacklight("intel_backlight", builtin, max, value);
        return displays.displayConnectServices().at(0);
    }

    static std::int64_t number(const PlistDictionary& d, const char* key) {
        auto it = d.find(key);
        return it == d.end() ? -1 : it->second.integerValue().value_or(-2);
    }

    LinuxDisplays displays;
    std::string builtin, external;
};

}  // namespace

TEST_F(BacklightServices, FirmwareThenPlatformThenRawAndNoUsbMonitors) {
    laptop.addConnectorBacklight("intel_backlight", builtin, 1000, 500);
    laptop.addPlatformBacklight("apple_backlight", 1023, 100);
    laptop.addCardBacklight("acpi_video0", "firmware", 0, 100, 50);
    laptop.addAppleDisplay(0, 0x9218);
    auto services = displays.displayConnectServices();
    ASSERT_EQ(services.size(), 3u);
    float v[3] = {};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(displays.getFloatParameter(services[i], 0, "brightness", &v[i]), 0);
    EXPECT_FLOAT_EQ(v[0], 0.5f);              // acpi_video0 50/100
    EXPECT_FLOAT_EQ(v[1], 100.0f / 1023.0f);  // apple_backlight
    EXPECT_FLOAT_EQ(v[2], 0.5f);              // intel_backlight 500/1000
    // Handles stay the same from walk to walk.
    EXPECT_EQ(displays.displayConnectServices(), services);
}

TEST_F(BacklightServices, InfoDictionaryCarriesTheIdentityOfTheConnectorItBelongsTo) {
    laptop.addCardBacklight("acpi_video0", "firmware", 0, 100, 50);    // the card's panel
    laptop.addConnectorBacklight("ext_backlight", external, 100, 50);  // raw, on HDMI
    laptop.addPlatformBacklight("apple_backlight", 100, 50);           // the panel
    auto services = displays.displayConnectServices();
    ASSERT_EQ(services.size(), 3u);
    std::vector<PlistDictionary> info;
    for (auto s : services) {
        auto d = displays.displayInfoDictionary(s, 0x200);
        ASSERT_TRUE(d);
        info.push_back(*d);
    }
    const std::int64_t apple = VirtualLaptop::manufacturerNumber("APP");
    EXPECT_EQ(number(info[0], "DisplayVendorID"), apple);  // firmware
    EXPECT_EQ(number(info[0], "DisplayProductID"), 0xA045);
    EXPECT_EQ(number(info[0], "DisplaySerialNumber"), 0);
    EXPECT_EQ(number(info[1], "DisplayVendorID"), apple);  // platform
    EXPECT_EQ(number(info[2], "DisplayVendorID"), VirtualLaptop::manufacturerNumber("DEL"));
    EXPECT_EQ(number(info[2], "DisplayProductID"), 0x4097);
    EXPECT_EQ(number(info[2], "DisplaySerialNumber"), 31337);
    EXPECT_FALSE(displays.displayInfoDictionary(0, 0));
    EXPECT_FALSE(displays.displayInfoDictionary(services[2] + 1000, 0));
}

TEST_F(BacklightServices, WithoutADeviceLinkTheFolderItSitsInTiesIt) {
    laptop.addCardBacklight("amdgpu_bl0", "raw", 0, 100, 50);          // the card's panel
    laptop.addConnectorBacklight("ext_backlight", external, 100, 50);  // raw, on HDMI
    for (const char* name : {"amdgpu_bl0", "ext_backlight"})
        std::filesystem::remove(laptop.backlightFile(name, "device"));
    auto services = displays.displayConnectServices();
    ASSERT_EQ(services.size(), 2u);
    auto card = displays.displayInfoDictionary(services[0], 0x200);
    auto hdmi = displays.displayInfoDictionary(services[1], 0x200);
    ASSERT_TRUE(card && hdmi);
    EXPECT_EQ(number(*card, "DisplayProductID"), 0xA045);
    EXPECT_EQ(number(*hdmi, "DisplayProductID"), 0x4097);
    // A class entry that is a plain folder sits in no device.
    laptop.removeBacklight("amdgpu_bl0");
    const std::string flat = laptop.root() + "/sys/class/backlight/amdgpu_bl0";
    for (const char* file : {"type", "max_brightness", "brightness"})
        testing_support::writeFile(flat + "/" + file, file[0] == 't' ? "raw\n" : "100\n");
    services = displays.displayConnectServices();
    ASSERT_EQ(services.size(), 2u);
    EXPECT_EQ(displays.displayInfoDictionary(services[0], 0x200)->count("DisplayVendorID"), 0u);
}

TEST_F(BacklightServices, BacklightOfAnUnknownDeviceCarriesNoIdentity) {
    // A raw backlight whose device is neither a connector nor a graphics card
    // (a monitor's DDC/CI control, say) cannot be told apart from other screens.
    laptop.addPlatformBacklight("ddcci5", 100, 50);
    testing_support::writeFile(laptop.backlightFile("ddcci5", "type"), "raw\n");
    auto services = displays.displayConnectServices();
    ASSERT_EQ(services.size(), 1u);
    auto d = displays.displayInfoDictionary(services[0], 0x200);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->count("DisplayVendorID"), 0u);
    EXPECT_EQ(d->count("DisplayProductID"), 0u);
}

TEST_F(BacklightServices, WritesRoundAndNeverSwitchTheBuiltInPanelOff) {
    auto s = panelBacklight(19200, 9600);
    struct Case {
        float value;
        long raw;
    } cases[] = {{0.5f, 9600},  {1.0f, 19200}, {0.3f, 5760},   {0.0f, 1},    {0.00001f, 1},
                 {1.5f, 19200}, {-0.2f, 1},    {0.000052f, 1}, {0.00008f, 2}};
    for (auto c : cases) {
        ASSERT_EQ(displays.setFloatParameter(s, 0, "brightness", c.value), 0) << c.value;
        EXPECT_EQ(laptop.backlightValue("intel_backlight"), c.raw) << c.value;
    }
    EXPECT_NE(displays.setFloatParameter(s, 0, "brightness", std::nanf("")), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 2);
}

TEST_F(BacklightServices, BrightnessIsReadAfreshTheDeviceIsKeptUntilABacklightChange) {
    auto s = panelBacklight();
    float v = 0;
    ASSERT_EQ(displays.getFloatParameter(s, 0, "brightness", &v), 0);
    EXPECT_FLOAT_EQ(v, 0.1f);
    laptop.setBacklightValue("intel_backlight", 70);  // changed by someone else
    ASSERT_EQ(displays.getFloatParameter(s, 0, "brightness", &v), 0);
    EXPECT_FLOAT_EQ(v, 0.7f);
    // The maximum is the device's, read when it was resolved.
    testing_support::writeFile(laptop.backlightFile("intel_backlight", "max_brightness"), "200\n");
    ASSERT_EQ(displays.setFloatParameter(s, 0, "brightness", 0.5f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 50);
    // A backlight appearing later is in the next walk, and the change has
    // every backlight resolved again.
    laptop.addCardBacklight("acpi_video0", "firmware", 0, 100, 50);
    EXPECT_EQ(displays.displayConnectServices().size(), 2u);
    ASSERT_EQ(displays.setFloatParameter(s, 0, "brightness", 0.5f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 100);
}

TEST_F(BacklightServices, ADeviceFoundGoneByAWriteIsResolvedAgainInTheSameCall) {
    std::string why;
    auto fuse = testing_support::FuseHidraw::mount(laptop.devFolder(), &why);
    if (!fuse)
        GTEST_SKIP() << "a file that can go away under an open descriptor needs FUSE: " << why;
    laptop.addConnectorBacklight("intel_backlight", builtin, 100, 10);
    // The first device's brightness answers ENODEV once it is unplugged, as
    // sysfs does; its replacement appears without a backlight class change.
    fuse->addMonitor("old-brightness");
    const auto file = laptop.backlightFile("intel_backlight", "brightness");
    std::filesystem::remove(file);
    std::filesystem::create_symlink(laptop.devFolder() + "/old-brightness", file);
    auto s = displays.displayConnectServices().at(0);
    ASSERT_EQ(displays.setFloatParameter(s, 0, "brightness", 0.3f), 0);

    fuse->unplug("old-brightness");
    std::filesystem::remove(file);
    testing_support::writeFile(file, "10\n");
    EXPECT_EQ(displays.setFloatParameter(s, 0, "brightness", 0.5f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 50);
}

TEST_F(BacklightServices, FailuresAreStatusesNeverResults) {
    auto s = panelBacklight();
    float v = 0.25f;
    EXPECT_NE(displays.getFloatParameter(s, 0, "contrast", &v), 0);
    EXPECT_NE(displays.setFloatParameter(s, 0, "contrast", 0.5f), 0);
    EXPECT_NE(displays.getFloatParameter(0, 0, "brightness", &v), 0);
    EXPECT_NE(displays.setFloatParameter(0, 0, "brightness", 0.5f), 0);

    const auto file = laptop.backlightFile("intel_backlight", "brightness");
    const auto max = laptop.backlightFile("intel_backlight", "max_brightness");
    // A device that fails to resolve is not kept: the next call tries again.
    testing_support::writeFile(max, "0\n");
    EXPECT_NE(displays.getFloatParameter(s, 0, "brightness", &v), 0);
    EXPECT_NE(displays.setFloatParameter(s, 0, "brightness", 0.5f), 0);
    testing_support::writeFile(max, "100\n");
    {
        // Opened without write access, the panel keeps refusing writes.
        NoFileOverride asUser;
        chmod(file.c_str(), 0444);
        EXPECT_EQ(displays.setFloatParameter(s, 0, "brightness", 0.5f), kIOReturnNotPermitted);
        chmod(file.c_str(), 0644);
    }
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 10);
    for (const char* garbage : {"abc\n", "\n", "-5\n", "150\n", "99999999999999999999999\n"}) {
        testing_support::writeFile(file, garbage);
        EXPECT_NE(displays.getFloatParameter(s, 0, "brightness", &v), 0) << garbage;
    }
    EXPECT_EQ(v, 0.25f);  // failed reads leave the cell alone
    testing_support::writeFile(file, "10\n");

    // The device vanished, seen by the next walk. (Its kept file would answer
    // ENODEV on sysfs; this laptop's plain files do not, see the test above.)
    laptop.removeBacklight("intel_backlight");
    EXPECT_TRUE(displays.displayConnectServices().empty());
    EXPECT_NE(displays.getFloatParameter(s, 0, "brightness", &v), 0);
    EXPECT_NE(displays.setFloatParameter(s, 0, "brightness", 0.5f), 0);
}
