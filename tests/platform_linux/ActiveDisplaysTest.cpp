// Active displays, the built-in test and display identities from DRM connectors.
#include <sys/stat.h>

#include <algorithm>

#include "linux/displays/LinuxDisplays.h"
#include "support/LaptopOnLinux.h"
#include "support/NoFileOverride.h"

using namespace testing_support;
using platform::linux_machine::LinuxDisplays;

namespace {

class ActiveDisplays : public LaptopTest {
  protected:
    VirtualLaptop::Connector connector(int card, const std::string& name, int id,
                                       bool connected = true, bool enabled = true) {
        VirtualLaptop::Connector c;
        c.card = card;
        c.name = name;
        c.connectorId = id;
        c.connected = connected;
        c.enabled = enabled;
        c.edid = VirtualLaptop::makeEdid("GSM", static_cast<std::uint16_t>(id), 1000 + id);
        return c;
    }
    LinuxDisplays displays;
};

}  // namespace

TEST_F(ActiveDisplays, ConnectedAndEnabledOutputsInCardThenConnectorOrder) {
    laptop.addConnector(connector(1, "DP-1", 50));
    laptop.addConnector(connector(0, "HDMI-A-1", 90));
    laptop.addConnector(connector(0, "eDP-1", 77));
    laptop.addConnector(connector(0, "DP-2", 80, false, false));  // unplugged
    laptop.addConnector(connector(0, "DP-3", 81, true, false));   // plugged, switched off
    std::vector<CGDirectDisplayID> list;
    ASSERT_EQ(displays.activeDisplays(list), kCGErrorSuccess);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(displays.modelNumber(list[0]), 77u);  // card0-eDP-1
    EXPECT_EQ(displays.modelNumber(list[1]), 90u);  // card0-HDMI-A-1
    EXPECT_EQ(displays.modelNumber(list[2]), 50u);  // card1-DP-1
    EXPECT_TRUE(displays.isBuiltin(list[0]));
    EXPECT_FALSE(displays.isBuiltin(list[1]));
    EXPECT_FALSE(displays.isBuiltin(list[2]));
    for (auto id : list)
        EXPECT_NE(id, 0u);
    EXPECT_EQ(std::set<CGDirectDisplayID>(list.begin(), list.end()).size(), 3u);

    // The same outputs keep their identifiers, also when others come and go.
    laptop.setConnectorState("card0-HDMI-A-1", false, false);
    std::vector<CGDirectDisplayID> again;
    ASSERT_EQ(displays.activeDisplays(again), kCGErrorSuccess);
    EXPECT_EQ(again, (std::vector<CGDirectDisplayID>{list[0], list[2]}));
}

TEST_F(ActiveDisplays, PanelConnectorsAreBuiltIn) {
    int id = 1;
    for (const char* name :
         {"eDP-2", "LVDS-1", "DSI-1", "DP-4", "HDMI-A-2", "VGA-1", "Virtual-1", "NewKind-1"}) {
        laptop.addConnector(connector(0, name, id++));
    }
    std::vector<CGDirectDisplayID> list;
    ASSERT_EQ(displays.activeDisplays(list), kCGErrorSuccess);
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(
        std::count_if(list.begin(), list.end(), [&](auto id) { return displays.isBuiltin(id); }),
        3);
    // Every identifier leads back to its own connector, including a type the
    // kernel may add one day.
    for (std::size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(displays.modelNumber(list[i]), i + 1);
    EXPECT_EQ(list[0], 0x0E000002u);  // eDP, card 0, index 2
}

TEST_F(ActiveDisplays, IdentityFromEdidAndZerosForMissingOrDamagedEdid) {
    auto good = connector(0, "eDP-1", 77);
    good.edid = VirtualLaptop::makeEdid("APP", 0xA045, 0xDEADBEEF);
    auto missing = connector(0, "DP-1", 78);
    missing.edid.reset();
    auto damaged = connector(0, "DP-2", 79);
    (*damaged.edid)[127] ^= 0xFF;
    auto garbage = connector(0, "DP-3", 80);
    garbage.edid = std::vector<std::uint8_t>(5, 0xAA);
    for (auto& c : {good, missing, damaged, garbage})
        laptop.addConnector(c);

    std::vector<CGDirectDisplayID> list;
    ASSERT_EQ(displays.activeDisplays(list), kCGErrorSuccess);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(displays.vendorNumber(list[0]), VirtualLaptop::manufacturerNumber("APP"));
    EXPECT_EQ(displays.modelNumber(list[0]), 0xA045u);
    EXPECT_EQ(displays.serialNumber(list[0]), 0xDEADBEEFu);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(displays.vendorNumber(list[i]), 0u);
        EXPECT_EQ(displays.modelNumber(list[i]), 0u);
        EXPECT_EQ(displays.serialNumber(list[i]), 0u);
    }
    // An identifier no connector has.
    EXPECT_FALSE(displays.isBuiltin(12345));
    EXPECT_EQ(displays.vendorNumber(12345), 0u);
}

TEST_F(ActiveDisplays, NoGraphicsIsAnEmptyListButAnUnreadableOneFails) {
    std::vector<CGDirectDisplayID> list{1, 2};
    ASSERT_EQ(displays.activeDisplays(list), kCGErrorSuccess);
    EXPECT_TRUE(list.empty());

    laptop.addConnector(connector(0, "eDP-1", 77));
    NoFileOverride asUser;
    chmod((laptop.root() + "/sys/class/drm").c_str(), 0);
    EXPECT_NE(displays.activeDisplays(list), kCGErrorSuccess);
    chmod((laptop.root() + "/sys/class/drm").c_str(), 0755);
}
