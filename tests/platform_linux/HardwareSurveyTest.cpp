// The Linux machine's hardware survey on virtual laptops: what it reports as
// usable, and the reason it gives for what is not.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "HardwareSurvey.h"
#include "LaptopFixture.h"
#include "support/FakeLogind.h"
#include "support/NoFileOverride.h"
#include "support/PrivateBus.h"

using platform::HardwareFinding;
using testing_support::FakeLogind;
using testing_support::NoFileOverride;
using testing_support::PrivateBus;
using testing_support::VirtualLaptop;

namespace {

using Kind = HardwareFinding::Kind;

class HardwareSurvey : public testing_support::LaptopTest {
  protected:
    std::vector<HardwareFinding> survey() {
        return platform::surveyHardware({{0x05AC, 0x9226, nullptr}, {0x05AC, 0x9236, nullptr}});
    }

    // The one finding of `kind` named `name`; fails the test when there is not exactly one.
    HardwareFinding find(const std::vector<HardwareFinding>& all, Kind kind,
                         const std::string& name) {
        std::vector<HardwareFinding> hits;
        for (const auto& f : all)
            if (f.kind == kind && f.name == name)
                hits.push_back(f);
        EXPECT_EQ(hits.size(), 1u) << name;
        return hits.empty() ? HardwareFinding{kind, name, false, "(missing)"} : hits.front();
    }

    void writeFile(const std::string& relative, const std::string& text) {
        const std::string path = laptop.root() + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << text;
    }

    std::string backlightClass() const { return laptop.root() + "/sys/class/backlight"; }
};

}  // namespace

TEST_F(HardwareSurvey, AnEmptyMachineSaysWhereItLookedForEachKind) {
    PrivateBus bus(PrivateBus::Kind::System);  // no logind, no iio-sensor-proxy on it
    auto all = survey();
    EXPECT_NE(find(all, Kind::Display, "(none)").detail.find("/sys/class/drm"), std::string::npos);
    EXPECT_NE(find(all, Kind::Backlight, "(none)").detail.find("/sys/class/backlight"),
              std::string::npos);
    EXPECT_NE(find(all, Kind::Monitor, "(none)").detail.find("none attached"), std::string::npos);
    EXPECT_FALSE(find(all, Kind::LightSensor, "iio-sensor-proxy").usable);
    EXPECT_FALSE(find(all, Kind::LightSensor, "IIO").usable);
    EXPECT_NE(find(all, Kind::LightSensor, "Apple SMC").detail.find("applesmc"), std::string::npos);
    for (const auto& f : all)
        EXPECT_FALSE(f.usable) << platform::describeFinding(f);
}

TEST_F(HardwareSurvey, ConnectedOutputsAreUsableWithTheirIdentity) {
    VirtualLaptop::Connector panel;
    panel.edid = VirtualLaptop::makeEdid("APP", 0xa045, 7);
    laptop.addConnector(panel);
    VirtualLaptop::Connector hdmi;
    hdmi.name = "HDMI-A-1";
    hdmi.connected = false;
    laptop.addConnector(hdmi);
    auto all = survey();
    auto eDP = find(all, Kind::Display, "card0-eDP-1");
    EXPECT_TRUE(eDP.usable);
    EXPECT_EQ(eDP.detail, "built-in panel, EDID vendor 0x0610 model 0xa045");
    auto external = find(all, Kind::Display, "card0-HDMI-A-1");
    EXPECT_FALSE(external.usable);
    EXPECT_EQ(external.detail, "external output, not connected or switched off");
}

TEST_F(HardwareSurvey, BacklightRoadsDirectThroughLogindOrNone) {
    const auto panel = laptop.addConnector({});
    laptop.addConnectorBacklight("intel_backlight", panel, 19200, 9600);
    const std::string line = "built-in panel card0-eDP-1, raw, 0 to 19200, written directly";
    EXPECT_EQ(find(survey(), Kind::Backlight, "intel_backlight").detail, line);  // alone
    std::filesystem::remove(laptop.backlightFile("intel_backlight", "device"));
    EXPECT_EQ(find(survey(), Kind::Backlight, "intel_backlight").detail, line);
    laptop.addPlatformBacklight("broken_backlight", 100, 50);
    writeFile("sys/class/backlight/broken_backlight/max_brightness", "garbage\n");
    {
        auto all = survey();
        auto b = find(all, Kind::Backlight, "intel_backlight");
        EXPECT_TRUE(b.usable);
        EXPECT_EQ(b.detail, line);
        auto broken = find(all, Kind::Backlight, "broken_backlight");
        EXPECT_FALSE(broken.usable);
        EXPECT_NE(broken.detail.find("max_brightness unreadable"), std::string::npos);
    }
    chmod(laptop.backlightFile("intel_backlight", "brightness").c_str(), 0444);
    laptop.addAppleDisplay(0, 0x9226);  // a monitor's backlight takes the same roads
    chmod(laptop.backlightFile("appledisplay0", "brightness").c_str(), 0444);
    {
        PrivateBus bus(PrivateBus::Kind::System);
        NoFileOverride asUser;
        auto b = find(survey(), Kind::Backlight, "intel_backlight");
        EXPECT_FALSE(b.usable);
        EXPECT_NE(b.detail.find("not writable for this user and no active systemd-logind session"),
                  std::string::npos)
            << b.detail;
        auto monitor = find(survey(), Kind::Monitor, "appledisplay0");
        EXPECT_FALSE(monitor.usable);
        EXPECT_NE(monitor.detail.find("group video"), std::string::npos) << monitor.detail;
        FakeLogind logind(backlightClass());
        b = find(survey(), Kind::Backlight, "intel_backlight");
        EXPECT_TRUE(b.usable);
        EXPECT_NE(b.detail.find("written through systemd-logind"), std::string::npos) << b.detail;
        monitor = find(survey(), Kind::Monitor, "appledisplay0");
        EXPECT_TRUE(monitor.usable);
        EXPECT_NE(monitor.detail.find("written through systemd-logind"), std::string::npos)
            << monitor.detail;
    }
    {
        PrivateBus bus(PrivateBus::Kind::System);
        FakeLogind inactive(backlightClass(), /*sessionActive=*/false);
        NoFileOverride asUser;
        EXPECT_FALSE(find(survey(), Kind::Backlight, "intel_backlight").usable);
    }
}

TEST_F(HardwareSurvey, OnlyListedMonitorsWithWhyTheirNodeCannotBeOpened) {
    laptop.addHidrawDevice(0, 0x9226);
    laptop.addHidrawDevice(1, 0x0250, {0x05, 0x01}, VirtualLaptop::kAppleVendor);  // a keyboard
    laptop.addHidrawDevice(2, 0x9236);
    laptop.addAppleDisplay(0, 0x9236);
    std::filesystem::create_directories(laptop.devFolder());
    std::ofstream(laptop.devFolder() + "/hidraw2").put('\0');  // a node, no driver behind it
    chmod((laptop.devFolder() + "/hidraw2").c_str(), 0600);
    auto all = survey();
    EXPECT_EQ(find(all, Kind::Monitor, "hidraw0").detail,
              "product 0x9226, no device node " + laptop.hidrawNode(0));
    for (const auto& f : all)
        EXPECT_NE(f.name, "hidraw1") << "not a monitor";
    auto opened = find(all, Kind::Monitor, "hidraw2");
    EXPECT_TRUE(opened.usable);
    auto appledisplay = find(all, Kind::Monitor, "appledisplay0");
    EXPECT_TRUE(appledisplay.usable);
    EXPECT_NE(appledisplay.detail.find("appledisplay driver"), std::string::npos);

    chmod((laptop.devFolder() + "/hidraw2").c_str(), 0);
    NoFileOverride asUser;
    auto denied = find(survey(), Kind::Monitor, "hidraw2");
    EXPECT_FALSE(denied.usable);
    EXPECT_NE(denied.detail.find("permission denied"), std::string::npos);
    EXPECT_NE(denied.detail.find("70-duolume.rules"), std::string::npos);
}

TEST_F(HardwareSurvey, LightSensorsReadOrSayWhyNot) {
    PrivateBus bus(PrivateBus::Kind::System);
    writeFile("sys/bus/iio/devices/iio:device0/in_illuminance_input", "123.5\n");
    writeFile("sys/devices/platform/applesmc.768/light", "(12,34)\n");
    auto all = survey();
    auto iio = find(all, Kind::LightSensor, "IIO iio:device0");
    EXPECT_TRUE(iio.usable);
    EXPECT_NE(iio.detail.find("123.5"), std::string::npos) << iio.detail;
    EXPECT_EQ(find(all, Kind::LightSensor, "Apple SMC").detail,
              "reads (12,34) from " + laptop.root() + "/sys/devices/platform/applesmc.768/light");

    writeFile("sys/bus/iio/devices/iio:device0/in_illuminance_input", "bright\n");
    writeFile("sys/devices/platform/applesmc.768/light", "(12,\n");
    all = survey();
    EXPECT_FALSE(find(all, Kind::LightSensor, "IIO iio:device0").usable);
    EXPECT_FALSE(find(all, Kind::LightSensor, "Apple SMC").usable);
}

TEST_F(HardwareSurvey, DescribedAsOneLogLine) {
    EXPECT_EQ(platform::describeFinding({Kind::Backlight, "acpi_video0", true, "written directly"}),
              "Backlight acpi_video0: usable, written directly");
    EXPECT_EQ(
        platform::describeFinding({Kind::Monitor, "hidraw3", false, "no device node /dev/hidraw3"}),
        "USB monitor hidraw3: not usable, no device node /dev/hidraw3");
}
