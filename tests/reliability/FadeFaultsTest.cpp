// The engine fading a virtual laptop's displays through the Linux machine
// while something breaks half-way: the panel's backlight vanishes, or logind
// starts refusing (a USB monitor unplugged mid-fade is in engine_linux). The
// fade always ends on time, the other display still reaches its target,
// nothing crashes, and the next request works with what is left.
#include <sys/stat.h>

#include <filesystem>

#include "FaultyLaptop.h"
#include "engine/BrightnessController.h"
#include "support/FakeLogind.h"
#include "support/FuseSysfsAttribute.h"
#include "support/NoFileOverride.h"
#include "support/PrivateBus.h"

using namespace testing_support;

namespace {

constexpr char kPanelFailure[] = "IODisplaySetFloatParameter error";

class FadeFaults : public FaultyLaptopTest {
  protected:
    void SetUp() override {
        VirtualLaptop::Connector panel;
        panel.edid = VirtualLaptop::makeEdid("APP", 0xA045, 0);
        builtin_ = laptop.addConnector(panel);
        VirtualLaptop::Connector hdmi;
        hdmi.name = "HDMI-A-1";
        hdmi.edid = VirtualLaptop::makeEdid("APP", 0x9226, 7);
        laptop.addConnector(hdmi);
        addPanelBacklight(500);
    }

    void addPanelBacklight(long value) {
        laptop.addConnectorBacklight("intel_backlight", builtin_, 1000, value);
    }
    long panel() const { return laptop.backlightValue("intel_backlight"); }

    // The panel's brightness as sysfs serves it: gone with its device, the
    // file the engine keeps open answers ENODEV, where a plain file would
    // still take the writes.
    void servePanelAsSysfs() {
        fuse->addNode(kPanelNode, std::make_shared<FuseSysfsAttribute>(std::to_string(panel())));
        const auto file = laptop.backlightFile("intel_backlight", "brightness");
        std::filesystem::remove(file);
        std::filesystem::create_symlink(laptop.devFolder() + "/" + kPanelNode, file);
    }
    void removePanelBacklight() {
        fuse->removeNode(kPanelNode);
        laptop.removeBacklight("intel_backlight");
    }
    static constexpr const char* kPanelNode = "intel_backlight-brightness";

    // An Apple monitor on hidraw0, attached to the shared engine.
    BrightnessController* engineWithMonitor() {
        fuse->addMonitor("hidraw0", 0x8000);
        laptop.addHidrawDevice(0, 0x9226);
        auto* engine = BrightnessController::sharedInstance();
        EXPECT_TRUE(runUntil([&] { return engine->externalMonitors().size() == 1; }));
        return engine;
    }

    std::string builtin_;
};

}  // namespace

TEST_F(FadeFaults, BacklightVanishingMidFade) {
    SKIP_WITHOUT_FUSE();
    servePanelAsSysfs();
    auto* engine = BrightnessController::sharedInstance();
    breakAtFadeStep(30, [&] { removePanelBacklight(); });

    engine->setBrightnessForInternalDisplay(0.9, 0.5, true);
    EXPECT_EQ(faulty().pauses, 100);
    // Every write after the loss is logged as the failure it is.
    EXPECT_EQ(loggedLines(kPanelFailure), 70);

    // The driver comes back (module reloaded): the next request finds it.
    addPanelBacklight(10);
    engine->setBrightnessForInternalDisplay(0.4, 0.5, false);
    EXPECT_EQ(panel(), 400);
}

TEST_F(FadeFaults, BacklightVanishingMidFadeLeavesTheMonitorsFadeWhole) {
    SKIP_WITHOUT_FUSE();
    servePanelAsSysfs();
    auto* engine = engineWithMonitor();
    breakAtFadeStep(50, [&] { removePanelBacklight(); });

    engine->setBrightnessForInternalDisplay(0.9, 0.25, true);
    const auto writes = fuse->writes("hidraw0");
    ASSERT_EQ(writes.size(), 100u);
    EXPECT_NEAR(writes.back(), 0x3FFF, 1);
    EXPECT_EQ(fuse->brightness("hidraw0"), writes.back());
}

TEST_F(FadeFaults, LogindRefusingSetBrightnessMidFade) {
    PrivateBus bus(PrivateBus::Kind::System);
    FakeLogind logind(laptop.root() + "/sys/class/backlight");
    chmod(laptop.backlightFile("intel_backlight", "brightness").c_str(), 0444);
    NoFileOverride asUser;  // only logind can write the backlight
    auto* engine = BrightnessController::sharedInstance();
    breakAtFadeStep(30, [&] { logind.refuse(true); });

    engine->setBrightnessForInternalDisplay(0.8, 0.5, true);
    EXPECT_EQ(faulty().pauses, 100);
    EXPECT_EQ(logind.calls().size(), 30u + 70u);  // asked at every step, refused after 30
    EXPECT_EQ(panel(), 500 + 30 * 3);             // where the last accepted step left it
    // Refused, the engine tries the backlight's own file, which this user may not write.
    EXPECT_EQ(loggedLines(kPanelFailure), 70);

    logind.refuse(false);
    engine->setBrightnessForInternalDisplay(0.25, 0.5, false);
    EXPECT_EQ(panel(), 250);
}
