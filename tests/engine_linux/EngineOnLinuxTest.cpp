// The engine on the Linux machine over a virtual laptop: a built-in panel with
// a sysfs backlight, an external output, an ambient light sensor, and an Apple
// USB monitor answering feature reports through FUSE.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "CoreFoundation/CFRunLoop.h"
#include "CoreGraphics/CGDirectDisplay.h"
#include "IOKit/hid/IOHIDDevice.h"
#include "IOKit/hid/IOHIDManager.h"
#include "engine/BrightnessController.h"
#include "linux/light/SMCLightScale.h"
#include "report/MachineReport.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "support/FuseHidraw.h"
#include "support/LaptopOnLinux.h"
#include "support/Waiting.h"

using namespace testing_support;

namespace {

constexpr long kPanelMax = 19200;

class EngineOnLinux : public ::testing::Test, protected LaptopOnLinux {
  protected:
    void SetUp() override {
        panel = laptop.addBuiltinPanel();
        laptop.addExternalOutput();
        laptop.addConnectorBacklight("intel_backlight", panel, kPanelMax, kPanelMax / 2);
        level = setAmbientLevel(4.5);
        std::string why;
        fuse = FuseHidraw::mount(laptop.devFolder(), &why);
        if (!fuse)
            GTEST_SKIP() << "the virtual USB monitor needs FUSE: " << why;
        fuse->addMonitor("hidraw0", 0x8000);
        laptop.addHidrawDevice(0, 0x9226);
    }

    // Sensor values giving about `wanted`; returns the level the sensor computes.
    double setAmbientLevel(double wanted) {
        const int smc = VirtualLaptop::smcLightForLevel(wanted);
        double lux = std::exp(wanted) - 1.0;
        laptop.setAmbientLight(smc, lux);
        // The laptop has an Apple SMC as well, which the run-time choice prefers.
        if (AmbientLightSensor::forcedBackend().value_or(AmbientLightSensor::Backend::Controller) ==
            AmbientLightSensor::Backend::Controller) {
            auto value = platform::linux_machine::controllerValueForSMCLight(smc);
            return std::pow(static_cast<double>(value) + 1.0, 2.0 / 15.0) - 1.0;
        }
        char text[64];
        std::snprintf(text, sizeof text, "%.6f", lux);
        return std::log(std::strtod(text, nullptr) + 1.0);
    }

    // The curve points around the level; returns the interpolated targets.
    std::pair<double, double> setCurve(double inLow, double inHigh, double exLow, double exHigh) {
        int low = static_cast<int>(std::floor(level));
        NSDictionary settings;
        settings[duolume::curveKeyForLevel("internal", low)] = PlistValue::real(inLow);
        settings[duolume::curveKeyForLevel("internal", low + 1)] = PlistValue::real(inHigh);
        settings[duolume::curveKeyForLevel("external", low)] = PlistValue::real(exLow);
        settings[duolume::curveKeyForLevel("external", low + 1)] = PlistValue::real(exHigh);
        EXPECT_TRUE(machine.defaults().write(duolume::ProductIdentifier, settings));
        double f = level - low;
        return {inLow + (inHigh - inLow) * f, exLow + (exHigh - exLow) * f};
    }

    // The engine, once it has found the monitor and finished the fade its arrival asks for.
    BrightnessController* engineWithMonitor() {
        auto* engine = BrightnessController::sharedInstance();
        EXPECT_TRUE(runLoopUntil([&] { return engine->externalMonitors().size() == 1; }));
        return engine;
    }

    long panelRaw() const { return laptop.backlightValue("intel_backlight"); }

    // The active display that is not built in (it stands for the monitors), or 0.
    static CGDirectDisplayID externalDisplay() {
        CGDirectDisplayID displays[4];
        std::uint32_t count = 0;
        if (CGGetActiveDisplayList(4, displays, &count) != kCGErrorSuccess)
            return 0;
        const auto* outside = std::find_if(
            displays, displays + count, [](CGDirectDisplayID d) { return !CGDisplayIsBuiltin(d); });
        return outside == displays + count ? 0 : *outside;
    }

    std::unique_ptr<FuseHidraw> fuse;
    std::string panel;
    double level = 0.0;
};

// A report descriptor as the owner of a newer Apple display published it.
std::vector<std::uint8_t> realDescriptor(const std::string& file) {
    std::ifstream in(DUOLUME_SOURCE_DIR "/tests/data/real-data/hid/" + file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Where both newer displays keep their brightness: report 1, 32 bits first,
// then the 16-bit duration.
const FuseHidraw::Field kReportOneBrightness{1, 6, 0, 32};

// Another HID interface of the same display, without a brightness control:
// one vendor-page input byte.
const std::vector<std::uint8_t> kOtherInterface{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                                0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
                                                0x95, 0x01, 0x81, 0x02, 0xC0};

}  // namespace

TEST_F(EngineOnLinux, MonitorArrivalFadesPanelAndMonitorOntoTheCurveIn100Steps) {
    auto [internal, external] = setCurve(0.2, 0.6, 0.3, 0.9);
    auto start = std::chrono::steady_clock::now();
    auto* engine = engineWithMonitor();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    auto writes = fuse->writes("hidraw0");
    ASSERT_EQ(writes.size(), 100u);
    EXPECT_NEAR(writes.back(), std::trunc(external * 65535.0), 1.0);
    EXPECT_TRUE(std::is_sorted(writes.begin(), writes.end()));  // 0.5 upwards, step by step
    EXPECT_GT(writes.front(), 0x8000);
    EXPECT_NEAR(panelRaw(), std::lround(internal * kPanelMax), 1);
    EXPECT_GE(seconds, 1.0);
    EXPECT_TRUE(machine.logged("USB monitor 0x9226"));
    (void)engine;
}

TEST_F(EngineOnLinux, MonitorUnpluggedMidFadeFailsQuietlyAndThePanelStillArrives) {
    setCurve(0.5, 0.5, 0.5, 0.5);
    auto* engine = engineWithMonitor();
    IOHIDDeviceRef monitor = *engine->externalMonitors().begin();
    std::size_t before = fuse->writes("hidraw0").size();

    auto [internal, external] = setCurve(0.9, 0.9, 0.1, 0.1);
    (void)external;
    fuse->unplugAfterWrites("hidraw0", 30, [&] { laptop.removeHidrawDevice(0); });
    engine->updateDisplayBrightness(true);

    EXPECT_EQ(fuse->writes("hidraw0").size(), before + 30);  // nothing got through after that
    EXPECT_NEAR(panelRaw(), std::lround(internal * kPanelMax), 1);
    std::uint8_t payload[2] = {0, 0};
    EXPECT_NE(IOHIDDeviceSetReport(monitor, kIOHIDReportTypeFeature, 16, payload, 2),
              kIOReturnSuccess);

    // The removal arrives once the fade has let the run loop go.
    ASSERT_TRUE(runLoopUntil([&] { return engine->externalMonitors().empty(); }));
    engine->updateDisplayBrightness(true);  // and the engine carries on without it
    EXPECT_NEAR(panelRaw(), std::lround(internal * kPanelMax), 1);
}

TEST_F(EngineOnLinux, MonitorOfTheAppleDisplayDriverFollowsTheCurveToo) {
    fuse->unplug("hidraw0");
    laptop.removeHidrawDevice(0);
    laptop.addAppleDisplay(0, 0x9236, 255, 0);
    auto [internal, external] = setCurve(0.2, 0.2, 0.6, 0.6);
    auto* engine = engineWithMonitor();
    // The one byte the driver sends, straight to its backlight.
    EXPECT_TRUE(
        machine.logged("USB monitor 0x9236 attached: brightness is sent as feature "
                       "report 16, 8 bits, 0 to 255, 1 byte"));
    EXPECT_EQ(std::stol(readFile(laptop.backlightFile("appledisplay0", "brightness"))),
              static_cast<long>(external * 255.0));
    EXPECT_NEAR(panelRaw(), std::lround(internal * kPanelMax), 1);
    (void)engine;
}

// Monitors declaring report 16 as 8 bits 0..255 and 16 bits 0..1023 beside
// one on the fixed 16-bit payload, each reached through its own hidraw node.
TEST_F(EngineOnLinux, EachMonitorIsDrivenInTheFieldItsDescriptorDeclares) {
    fuse->addMonitor("hidraw1", FuseHidraw::Field{16, 1, 0, 8}, 0);
    laptop.addHidrawDevice(1, 0x9218, VirtualLaptop::reportSixteenDescriptor(8, 255));
    fuse->addMonitor("hidraw2", FuseHidraw::Field{16, 2, 0, 16}, 0);
    laptop.addHidrawDevice(2, 0x9226, VirtualLaptop::reportSixteenDescriptor(16, 1023));
    setCurve(0.5, 0.5, 0.5, 0.5);
    auto* engine = BrightnessController::sharedInstance();
    ASSERT_TRUE(runLoopUntil([&] { return engine->externalMonitors().size() == 3; }));
    EXPECT_TRUE(
        machine.logged("USB monitor 0x9218 attached: brightness is sent as feature "
                       "report 16, 8 bits, 0 to 255, 1 byte"));
    const auto raw = [](double fraction, double span) {
        return static_cast<std::uint32_t>(std::trunc(fraction * span));
    };

    auto [internal, external] = setCurve(0.5, 0.5, 0.8, 0.8);
    engine->updateDisplayBrightness(false);
    EXPECT_EQ(fuse->rawValue("hidraw0"), raw(external, 65535));
    EXPECT_EQ(fuse->rawValue("hidraw1"), raw(external, 255));
    EXPECT_EQ(fuse->lastPayload("hidraw1").size(), 1u);
    EXPECT_EQ(fuse->rawValue("hidraw2"), raw(external, 1023));

    // Reads give what was written within one raw step; with the others gone,
    // the 8-bit monitor's one-byte answer is the reading.
    const CGDirectDisplayID outside = externalDisplay();
    ASSERT_NE(outside, 0u);
    engine->setBrightness(0.37, outside);
    fuse->unplug("hidraw0");
    EXPECT_NEAR(engine->getBrightness(outside), 0.37, 1.0 / 255);
    fuse->unplug("hidraw2");
    EXPECT_NEAR(engine->getBrightness(outside), 0.37, 1.0 / 255);
    EXPECT_EQ(fuse->rawValue("hidraw1"), raw(0.37, 255));
}

TEST_F(EngineOnLinux, NewerAppleDisplaysAreDrivenInReportOneAsTheirRealDescriptorsDeclare) {
    fuse->unplug("hidraw0");
    laptop.removeHidrawDevice(0);
    const auto studio = realDescriptor("05ac-1114-asdbctl-readme.bin");
    ASSERT_EQ(studio.size(), 79u);
    fuse->addMonitor("hidraw1", kReportOneBrightness, 400);
    laptop.addHidrawDevice(1, 0x1114, studio);
    fuse->addMonitor("hidraw3", FuseHidraw::Field{0, 1, 0, 8}, 0);
    laptop.addHidrawDevice(3, 0x1114, kOtherInterface);
    auto [internal, external] = setCurve(0.5, 0.5, 0.8, 0.8);
    auto* engine = engineWithMonitor();

    // The attach fades the display up from its minimum onto the curve.
    const auto target = [](double fraction, double max) {
        return 400 + static_cast<std::uint32_t>(std::trunc(fraction * (max - 400)));
    };
    auto steps = fuse->rawWrites("hidraw1");
    ASSERT_GE(steps.size(), 50u);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(steps.back(), target(external, 60000));
    EXPECT_TRUE(
        machine.logged("USB monitor 0x1114 attached: brightness is sent as feature "
                       "report 1, 32 bits, 400 to 60000, 6 bytes"));
    // Its other interface is left alone.
    EXPECT_TRUE(fuse->rawWrites("hidraw3").empty());
    EXPECT_EQ(fuse->reads("hidraw3"), 0);
    EXPECT_TRUE(
        machine.logged("USB monitor 0x1114: this HID interface declares no brightness "
                       "control in a Monitor collection; not attached (the display's "
                       "brightness is on another of its interfaces); it declares "
                       "collection 0xff00/0x0001: input report 0 (0x0000/0x0000 8 bits "
                       "0..255)"));

    // The Pro Display XDR arrives later, with its own range.
    fuse->addMonitor("hidraw2", kReportOneBrightness, 400);
    laptop.addHidrawDevice(2, 0x9243, realDescriptor("05ac-9243-apdbctl-readme.bin"));
    ASSERT_TRUE(runLoopUntil([&] { return engine->externalMonitors().size() == 2; }));
    const CGDirectDisplayID outside = externalDisplay();
    ASSERT_NE(outside, 0u);
    for (double brightness : {0.0, 0.5, 1.0}) {
        engine->setBrightness(brightness, outside);
        EXPECT_EQ(fuse->rawValue("hidraw1"), target(brightness, 60000)) << brightness;
        EXPECT_EQ(fuse->rawValue("hidraw2"), target(brightness, 50000)) << brightness;
        for (const char* node : {"hidraw1", "hidraw2"}) {
            const auto payload = fuse->lastPayload(node);
            ASSERT_EQ(payload.size(), 6u) << node;
            EXPECT_EQ(payload[4] | payload[5] << 8, 0) << node << ": the duration is 0";
        }
        EXPECT_NEAR(engine->getBrightness(outside), brightness, 1.0 / 49600);
    }

    // The 2026 displays, through descriptors reconstructed from what public
    // sources state (no owner has published theirs): the same report 1.
    fuse->addMonitor("hidraw4", kReportOneBrightness, 400);
    laptop.addHidrawDevice(4, 0x1116, realDescriptor("05ac-1116-reconstructed.bin"));
    fuse->addMonitor("hidraw5", kReportOneBrightness, 400);
    laptop.addHidrawDevice(5, 0x1118, realDescriptor("05ac-1118-reconstructed.bin"));
    ASSERT_TRUE(runLoopUntil([&] { return engine->externalMonitors().size() == 4; }));
    engine->setBrightness(1.0, outside);
    EXPECT_EQ(fuse->rawValue("hidraw4"), 60000u);
    EXPECT_EQ(fuse->rawValue("hidraw5"), 60000u);
    engine->setBrightness(0.25, outside);
    EXPECT_EQ(fuse->rawValue("hidraw4"), target(0.25, 60000));
    EXPECT_EQ(fuse->rawValue("hidraw5"), target(0.25, 60000));
    EXPECT_EQ(fuse->lastPayload("hidraw4").size(), 6u);

    // The start-up report names each display's field, and why the other
    // interface is not used.
    const auto report =
        duolume::startUpReport(IOHIDManagerCopyDevices(engine->monitorWatcher()), {});
    const auto has = [&](int node, const std::string& rest) {
        const std::string line =
            "USB monitor " + rest.substr(0, 6) + " " + laptop.hidrawNode(node) + rest.substr(6);
        return std::count(report.begin(), report.end(), line) == 1;
    };
    EXPECT_TRUE(has(1,
                    "0x1114: in use, brightness in feature report 1, 32 bits, 400 to 60000, "
                    "6 bytes"))
        << ::testing::PrintToString(report);
    EXPECT_TRUE(has(2,
                    "0x9243: in use, brightness in feature report 1, 32 bits, 400 to 50000, "
                    "6 bytes"));
    EXPECT_TRUE(has(4,
                    "0x1116: in use, brightness in feature report 1, 32 bits, 400 to 60000, "
                    "6 bytes"));
    EXPECT_TRUE(has(3,
                    "0x1114: this HID interface declares no brightness control in a Monitor "
                    "collection, so it is not used; it declares collection 0xff00/0x0001: "
                    "input report 0 (0x0000/0x0000 8 bits 0..255)"));
}

TEST_F(EngineOnLinux, AnOlderMonitorAndAStudioDisplayAreBothWrittenAtEveryStepOfAFade) {
    fuse->addMonitor("hidraw1", kReportOneBrightness, 400);
    laptop.addHidrawDevice(1, 0x1114, realDescriptor("05ac-1114-asdbctl-readme.bin"));
    setCurve(0.5, 0.5, 0.8, 0.8);
    auto* engine = BrightnessController::sharedInstance();
    ASSERT_TRUE(runLoopUntil([&] { return engine->externalMonitors().size() == 2; }));
    const auto older = fuse->rawWrites("hidraw0").size();
    const auto studio = fuse->rawWrites("hidraw1").size();

    auto [internal, external] = setCurve(0.5, 0.5, 0.1, 0.1);
    engine->updateDisplayBrightness(true);
    auto olderSteps = fuse->rawWrites("hidraw0");
    auto studioSteps = fuse->rawWrites("hidraw1");
    olderSteps.erase(olderSteps.begin(), olderSteps.begin() + static_cast<std::ptrdiff_t>(older));
    studioSteps.erase(studioSteps.begin(),
                      studioSteps.begin() + static_cast<std::ptrdiff_t>(studio));
    ASSERT_GE(olderSteps.size(), 50u);
    EXPECT_EQ(studioSteps.size(), olderSteps.size());
    EXPECT_TRUE(std::is_sorted(olderSteps.rbegin(), olderSteps.rend()));
    EXPECT_TRUE(std::is_sorted(studioSteps.rbegin(), studioSteps.rend()));
    EXPECT_EQ(olderSteps.back(), static_cast<std::uint32_t>(std::trunc(external * 65535)));
    EXPECT_EQ(studioSteps.back(), 400 + static_cast<std::uint32_t>(std::trunc(external * 59600)));
    (void)internal;
}
