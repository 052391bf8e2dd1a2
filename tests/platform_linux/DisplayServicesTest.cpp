// DisplayServices on Linux: the built-in panel's backlight through sysfs, or
// through logind for a user who may not write sysfs.
#include <sys/stat.h>

#include <optional>

#include "linux/displays/LinuxDisplays.h"
#include "support/FakeLogind.h"
#include "support/LaptopOnLinux.h"
#include "support/NoFileOverride.h"
#include "support/PrivateBus.h"

using namespace testing_support;
using platform::OptionalDisplayOperation;
using platform::linux_machine::LinuxDisplays;

namespace {

class DisplayServices : public LaptopTest {
  protected:
    void SetUp() override {
        VirtualLaptop::Connector panel;
        panel.edid = VirtualLaptop::makeEdid("APP", 0xA045, 0);
        panel.connectorId = 70;
        builtin = laptop.addConnector(panel);
        VirtualLaptop::Connector hdmi;
        hdmi.name = "HDMI-A-1";
        hdmi.connectorId = 80;
        external = laptop.addConnector(hdmi);
        std::vector<CGDirectDisplayID> list;
        displays.activeDisplays(list);
        panelID = list.at(0);
        externalID = list.at(1);
    }

    bool present() {
        return displays.hasOperation(OptionalDisplayOperation::DisplayServicesGetBrightness) &&
               displays.hasOperation(OptionalDisplayOperation::DisplayServicesSetBrightness) &&
               displays.hasOperation(OptionalDisplayOperation::DisplayServicesCanChangeBrightness);
    }

    std::string backlightClass() const { return laptop.root() + "/sys/class/backlight"; }

    LinuxDisplays displays;
    std::string builtin, external;
    CGDirectDisplayID panelID = 0, externalID = 0;
};

}  // namespace

TEST_F(DisplayServices, PresentOnceABuiltInBacklightExistsAndCoreDisplayNever) {
    EXPECT_FALSE(present());
    laptop.addConnectorBacklight("ext_backlight", external, 100, 50);  // not the panel's
    EXPECT_FALSE(present());
    laptop.addConnectorBacklight("intel_backlight", builtin, 100, 50);
    EXPECT_TRUE(present());
    EXPECT_FALSE(displays.hasOperation(OptionalDisplayOperation::CoreDisplayGetUserBrightness));
    EXPECT_FALSE(displays.hasOperation(OptionalDisplayOperation::CoreDisplaySetUserBrightness));
    // The backlight going away does not take the operations away under a
    // caller that has just tested them; they fail instead.
    laptop.removeBacklight("intel_backlight");
    EXPECT_TRUE(present());
    float v = 0;
    EXPECT_NE(displays.displayServicesGetBrightness(panelID, &v), 0);
    EXPECT_NE(displays.displayServicesSetBrightness(panelID, 0.5f), 0);
    EXPECT_FALSE(displays.displayServicesCanChangeBrightness(panelID));
}

TEST_F(DisplayServices, ReadsAndWritesTheBuiltInPanelsBacklight) {
    PrivateBus bus(PrivateBus::Kind::System);
    FakeLogind logind(backlightClass());
    laptop.addCardBacklight("acpi_video0", "firmware", 0, 100, 40);
    float v = 0;
    ASSERT_EQ(displays.displayServicesGetBrightness(panelID, &v), 0);
    EXPECT_FLOAT_EQ(v, 0.4f);
    ASSERT_EQ(displays.displayServicesSetBrightness(panelID, 0.75f), 0);
    EXPECT_EQ(laptop.backlightValue("acpi_video0"), 75);
    ASSERT_EQ(displays.displayServicesSetBrightness(panelID, 0.0f), 0);
    EXPECT_EQ(laptop.backlightValue("acpi_video0"), 1);
    EXPECT_TRUE(displays.displayServicesCanChangeBrightness(panelID));
    EXPECT_TRUE(logind.calls().empty());  // sysfs was writable

    // Not for other displays.
    EXPECT_NE(displays.displayServicesGetBrightness(externalID, &v), 0);
    EXPECT_NE(displays.displayServicesSetBrightness(externalID, 0.5f), 0);
    EXPECT_FALSE(displays.displayServicesCanChangeBrightness(externalID));
    EXPECT_EQ(laptop.backlightValue("acpi_video0"), 1);
}

// Its driver bound again, the panel's backlight is another device with
// another maximum: the next sync's display list sees it go and come, and the
// write reaches the new device on its own scale.
TEST_F(DisplayServices, ABacklightReplacedBetweenSyncsIsResolvedAgainByTheNextSync) {
    laptop.addConnectorBacklight("intel_backlight", builtin, 100, 50);
    std::vector<CGDirectDisplayID> active;
    ASSERT_EQ(displays.activeDisplays(active), kCGErrorSuccess);
    ASSERT_EQ(displays.displayServicesSetBrightness(panelID, 0.5f), 0);
    laptop.removeBacklight("intel_backlight");
    laptop.addConnectorBacklight("intel_backlight", builtin, 1000, 50);
    ASSERT_EQ(displays.activeDisplays(active), kCGErrorSuccess);
    ASSERT_EQ(displays.displayServicesSetBrightness(panelID, 0.25f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 250);
}

// A panel of 15 steps keeps 0.5 as 8/15 and 0.0 as 1/15 (never off). Read
// back, each is the fraction that was written, as the platform's display
// services answer, so the engine never takes its own write for another
// program's; a value another program wrote reads as what the panel holds.
TEST_F(DisplayServices, ACoarsePanelReadsBackTheFractionLastWritten) {
    laptop.addConnectorBacklight("intel_backlight", builtin, 15, 15);
    float v = -1;
    for (float written : {0.5f, 0.0f, 0.33f}) {
        ASSERT_EQ(displays.displayServicesSetBrightness(panelID, written), 0);
        ASSERT_EQ(displays.displayServicesGetBrightness(panelID, &v), 0);
        EXPECT_EQ(v, written);
    }
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 5);
    testing_support::writeFile(laptop.backlightFile("intel_backlight", "brightness"), "3\n");
    ASSERT_EQ(displays.displayServicesGetBrightness(panelID, &v), 0);
    EXPECT_FLOAT_EQ(v, 0.2f);
    // Another program putting the same raw value back is no change at all.
    testing_support::writeFile(laptop.backlightFile("intel_backlight", "brightness"), "5\n");
    ASSERT_EQ(displays.displayServicesGetBrightness(panelID, &v), 0);
    EXPECT_EQ(v, 0.33f);
}

TEST_F(DisplayServices, UserWithoutWriteAccessGoesThroughLogind) {
    PrivateBus bus(PrivateBus::Kind::System);
    FakeLogind logind(backlightClass());
    laptop.addConnectorBacklight("intel_backlight", builtin, 19200, 9600);
    const auto file = laptop.backlightFile("intel_backlight", "brightness");
    chmod(file.c_str(), 0444);
    NoFileOverride asUser;
    EXPECT_TRUE(displays.displayServicesCanChangeBrightness(panelID));
    ASSERT_EQ(displays.displayServicesSetBrightness(panelID, 0.25f), 0);
    ASSERT_EQ(displays.displayServicesSetBrightness(panelID, 0.0f), 0);
    auto calls = logind.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].subsystem, "backlight");
    EXPECT_EQ(calls[0].name, "intel_backlight");
    EXPECT_EQ(calls[0].value, 4800u);
    EXPECT_EQ(calls[1].value, 1u);  // the panel stays lit
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 1);
    // The panel holds the raw value of the last write: it reads as that write.
    float v = 1;
    ASSERT_EQ(displays.displayServicesGetBrightness(panelID, &v), 0);
    EXPECT_EQ(v, 0.0f);

    logind.refuse(true);
    EXPECT_NE(displays.displayServicesSetBrightness(panelID, 0.5f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 1);
}

// A window's thread never waits for logind, even a logind that hangs: the
// value goes to logind from another thread, the latest one first, and a
// refusal is logged when it comes.
TEST_F(DisplayServices, AWindowHandsLogindItsWritesWithoutWaiting) {
    PrivateBus bus(PrivateBus::Kind::System);
    FakeLogind logind(backlightClass());
    laptop.addConnectorBacklight("intel_backlight", builtin, 19200, 9600);
    chmod(laptop.backlightFile("intel_backlight", "brightness").c_str(), 0444);
    NoFileOverride asUser;
    machine.setMainThreadNeverWaits(true);

    logind.stall(true);
    EXPECT_TRUE(displays.displayServicesCanChangeBrightness(panelID)) << "not known yet: tried";
    EXPECT_EQ(displays.displayServicesSetBrightness(panelID, 0.25f), 0);
    EXPECT_EQ(displays.displayServicesSetBrightness(panelID, 0.75f), 0);
    EXPECT_TRUE(logind.calls().empty());
    logind.stall(false);
    ASSERT_TRUE(runUntil([&] { return laptop.backlightValue("intel_backlight") == 14400; }));
    EXPECT_LE(logind.calls().size(), 2u);

    logind.refuse(true);
    EXPECT_EQ(displays.displayServicesSetBrightness(panelID, 0.5f), 0);
    EXPECT_TRUE(runUntil(
        [&] { return logged("systemd-logind did not set backlight intel_backlight to 9600"); }));
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 14400);
}

// A user without write access whom logind does not help: nothing changes,
// and reading still works.
struct Refusal {
    const char* name;
    bool logind;
    bool sessionActive;
    const char* seat;
};

class DisplayServicesRefused : public DisplayServices,
                               public ::testing::WithParamInterface<Refusal> {};

TEST_P(DisplayServicesRefused, CannotChangeBrightness) {
    const Refusal& r = GetParam();
    PrivateBus bus(PrivateBus::Kind::System);
    std::optional<FakeLogind> logind;
    if (r.logind)
        logind.emplace(backlightClass(), r.sessionActive, r.seat);
    laptop.addConnectorBacklight("intel_backlight", builtin, 100, 50);
    chmod(laptop.backlightFile("intel_backlight", "brightness").c_str(), 0444);
    NoFileOverride asUser;
    EXPECT_FALSE(displays.displayServicesCanChangeBrightness(panelID));
    EXPECT_NE(displays.displayServicesSetBrightness(panelID, 0.8f), 0);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 50);
    float v = 0;
    EXPECT_EQ(displays.displayServicesGetBrightness(panelID, &v), 0);
    EXPECT_FLOAT_EQ(v, 0.5f);
}

INSTANTIATE_TEST_SUITE_P(DisplayServices, DisplayServicesRefused,
                         ::testing::Values(Refusal{"InactiveSession", true, false, "seat0"},
                                           // An SSH login: logind calls the session active, but it
                                           // has no seat, and logind refuses it the backlight.
                                           Refusal{"SessionWithoutASeat", true, true, ""},
                                           // A system bus, but no logind on it.
                                           Refusal{"WithoutLogind", false, false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayServices, ABrokenBacklightIsAFailingStatus) {
    laptop.addConnectorBacklight("intel_backlight", builtin, 100, 50);
    testing_support::writeFile(laptop.backlightFile("intel_backlight", "max_brightness"), "lots\n");
    float v = 0.125f;
    EXPECT_NE(displays.displayServicesGetBrightness(panelID, &v), 0);
    EXPECT_NE(displays.displayServicesSetBrightness(panelID, 0.5f), 0);
    EXPECT_EQ(v, 0.125f);
    EXPECT_EQ(laptop.backlightValue("intel_backlight"), 50);
}
