// AmbientLightSensor on the Linux machine with a virtual laptop, with the real
// (GLib) run loop and its one-second timers.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSNotificationCenter.h"
#include "linux/LinuxMachine.h"
#include "sensor/AmbientLightSensor.h"
#include "support/LaptopOnLinux.h"
#include "support/LightLevels.h"
#include "support/Waiting.h"

using platform::linux_machine::LinuxMachine;
using testing_support::LaptopOnLinux;
using Backend = AmbientLightSensor::Backend;
using testing_support::runLoopUntil;

namespace {

using Levels = testing_support::LightLevels;

// A laptop without buses, whose light files a test writes first; then the
// Linux machine on it and a sensor of the back-end asked for, started.
class LinuxSensor : public ::testing::Test {
  protected:
    std::shared_ptr<AmbientLightSensor> start(Backend backend) {
        LinuxMachine::installNew();
        auto sensor = AmbientLightSensor::alloc(backend);
        sensor->init();
        return sensor;
    }
    LaptopOnLinux bed{LaptopOnLinux::SessionBus::None};
    Levels levels;
};

}  // namespace

TEST_F(LinuxSensor, ServiceClientFollowsAnIIODevice) {
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "100\n");
    auto sensor = start(Backend::ServiceClient);
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), std::log(101.0), 1e-12);

    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "garbage\n");
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.3, false);
    EXPECT_TRUE(levels.values.empty());
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "20000\n");
    // Brighter light stands after 2 s (SteadyLight.h).
    ASSERT_TRUE(runLoopUntil([&] { return !levels.values.empty(); }, 8.0));
    ASSERT_EQ(levels.values.size(), 1u);
    EXPECT_NEAR(levels.values[0], std::log(20001.0), 1e-12);
}

TEST_F(LinuxSensor, ControllerAnnouncesChangesOfTheSMCLightInTheDefaultModeOnly) {
    bed.laptop.writeSMCLight("(100,100)\n");
    auto sensor = start(Backend::Controller);
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), 10.0 * 100 / 255, 1e-6);

    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.2, false);
    EXPECT_TRUE(levels.values.empty());  // unchanged: no message
    bed.laptop.writeSMCLight("(0,0)\n");
    // Darker light stands after 5 s (SteadyLight.h).
    CFRunLoopRunInMode("NSModalPanelRunLoopMode", 6.5, false);
    EXPECT_TRUE(levels.values.empty());
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.2, false);
    EXPECT_EQ(levels.values, std::vector<double>{0.0});

    // Garbled: no message; after a few seconds without a reading
    // (LightHandover.h) the level shows the failure.
    bed.laptop.writeSMCLight("(1,");
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 6.5, false);
    EXPECT_EQ(levels.values.size(), 1u);
    EXPECT_EQ(sensor->getCurrentAmbientLight(), -1.0);
}

TEST_F(LinuxSensor, ControllerWithoutAnAppleSMC) {
    auto sensor = start(Backend::Controller);
    EXPECT_EQ(sensor->getCurrentAmbientLight(), -1.0);
}

TEST_F(LinuxSensor, ControllerSurvivesTheSMCAttributeVanishingAndComingBack) {
    bed.laptop.writeSMCLight("(100,100)\n");
    auto sensor = start(Backend::Controller);

    std::filesystem::remove(bed.laptop.smcLightFile());  // the driver unloaded under the sensor
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 6.5, false);
    EXPECT_TRUE(levels.values.empty());
    EXPECT_EQ(sensor->getCurrentAmbientLight(), -1.0);

    bed.laptop.writeSMCLight("(0,0)\n");  // loaded again: polling picked up where it was
    EXPECT_TRUE(runLoopUntil([&] { return !levels.values.empty(); }, 3.0));
    EXPECT_EQ(levels.values, std::vector<double>{0.0});
    EXPECT_EQ(sensor->getCurrentAmbientLight(), 0.0);
}

#if !defined(DUOLUME_ALS_BACKEND_CONTROLLER) && !defined(DUOLUME_ALS_BACKEND_SERVICE_CLIENT)
// One build for every laptop: the shared sensor reads what the laptop has,
// with the formula of that sensor.
struct SharedCase {
    const char* name;
    const char* smcLight;  // no SMC when null
    Backend backend;
    double level, tolerance;
};

class SharedLinuxSensor : public ::testing::TestWithParam<SharedCase> {};

// Both laptops have an IIO sensor reading 100 lux; an Intel Mac's SMC wins.
TEST_P(SharedLinuxSensor, ReadsWhatTheLaptopHasWithThatSensorsFormula) {
    const SharedCase& c = GetParam();
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    if (c.smcLight)
        bed.laptop.writeSMCLight(c.smcLight);
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "100\n");
    LinuxMachine::installNew();
    EXPECT_EQ(AmbientLightSensor::sharedBackendChoice().backend, c.backend);
    EXPECT_NEAR(AmbientLightSensor::sharedInstance()->getCurrentAmbientLight(), c.level,
                c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(LinuxSensor, SharedLinuxSensor,
                         ::testing::Values(SharedCase{"LaptopWithAnIIOSensorInLux", nullptr,
                                                      Backend::ServiceClient, std::log(101.0),
                                                      1e-12},
                                           SharedCase{"IntelMacTheSMCPair", "(128,128)\n",
                                                      Backend::Controller, 5.0196, 1e-4}),
                         [](const auto& info) { return std::string(info.param.name); });
#endif
