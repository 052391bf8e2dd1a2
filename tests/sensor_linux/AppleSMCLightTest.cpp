// The controller on Linux: the Apple SMC driver's light attribute.
#include <gtest/gtest.h>

#include <filesystem>

#include "IOKit/IOKitLib.h"
#include "IOKit/IOServiceConnection.h"
#include "linux/LinuxMachine.h"
#include "linux/light/AppleSMCLight.h"
#include "linux/light/LinuxLightSensor.h"
#include "linux/light/SMCLightScale.h"
#include "sensor/AmbientLightSensor.h"
#include "sim/SimMachine.h"
#include "support/LaptopOnLinux.h"
#include "support/Waiting.h"

using platform::linux_machine::AppleSMCLight;
using platform::linux_machine::controllerValueForSMCLight;
using platform::linux_machine::controllerValuesForSMCLight;
using platform::linux_machine::LinuxLightSensor;
using platform::linux_machine::LinuxMachine;
using platform::linux_machine::SMCLightValues;
using testing_support::LaptopOnLinux;
using testing_support::soon;

TEST(AppleSMCLight, ParsesTheDriversPairAndRejectsAnythingElse) {
    EXPECT_EQ(AppleSMCLight::parse("(3,0)\n"), (SMCLightValues{3, 0}));
    EXPECT_EQ(AppleSMCLight::parse("(255,128)"), (SMCLightValues{255, 128}));
    for (const char* garbage :
         {"", "\n", "()", "(,)", "(1,)", "(,2)", "(1;2)", "1,2", "(1,2", "(-1,2)", "(1, 2)",
          "(1,2)x", "(256,1)", "(1,1000)", "(99999999999999999999999,1)"}) {
        EXPECT_EQ(AppleSMCLight::parse(garbage), std::nullopt) << "for '" << garbage << "'";
    }
}

TEST(AppleSMCLight, ScalarMethodZeroGivesTheAttributeAsItIsRead) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_EQ(sensor.lmuService(), 0u);
    EXPECT_EQ(sensor.controllerFinding().reason, platform::FindingReason::NotPresent);
    bed.laptop.writeSMCLight("(0,34)\n");
    io_service_t service = sensor.lmuService();
    ASSERT_NE(service, 0u);

    std::uint64_t out[2] = {0, 0};
    std::uint32_t count = 2;
    io_connect_t connect = 0;
    EXPECT_NE(sensor.callScalarMethod(connect, 0, out, &count), kIOReturnSuccess);  // not open yet
    ASSERT_EQ(sensor.openService(service, 0, &connect), kIOReturnSuccess);
    ASSERT_NE(connect, 0u);
    ASSERT_EQ(sensor.callScalarMethod(connect, 0, out, &count), kIOReturnSuccess);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1], controllerValueForSMCLight(34));
    EXPECT_EQ(sensor.controllerFinding(),
              (platform::HardwareFinding{"Apple SMC", platform::FindingReason::InUse,
                                         "(0,34) from " + bed.laptop.smcLightFile()}));

    auto first = [&] {
        std::uint32_t n = 2;
        return sensor.callScalarMethod(connect, 0, out, &n) == kIOReturnSuccess
                   ? std::optional<std::uint64_t>(out[0])
                   : std::nullopt;
    };
    bed.laptop.writeSMCLight("(56,0)\n");
    EXPECT_TRUE(soon(first, controllerValueForSMCLight(56)));
    bed.laptop.writeSMCLight("garbage");
    EXPECT_TRUE(soon(first, std::nullopt));
    EXPECT_EQ(sensor.controllerFinding().reason, platform::FindingReason::Unreadable);
    std::filesystem::remove(bed.laptop.smcLightFile());
    EXPECT_EQ(sensor.lmuService(), 0u);
    bed.laptop.writeSMCLight("(1,1)\n");  // back again: the open connection reads it
    EXPECT_TRUE(soon(first, controllerValueForSMCLight(1)));
    EXPECT_NE(sensor.callScalarMethod(connect, 1, out, &count), kIOReturnSuccess);
}

TEST(AppleSMCLight, UnreadableAttributeCannotBeOpened) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    bed.laptop.writeSMCLight("(1,2)\n");
    std::filesystem::permissions(bed.laptop.smcLightFile(), std::filesystem::perms::none);
    io_connect_t connect = 0;
    EXPECT_EQ(sensor.openService(sensor.lmuService(), 0, &connect), kIOReturnNotPrivileged);
    EXPECT_EQ(connect, 0u);
}

// The level formula on the SMC's 8-bit values: the whole curve, finely in the dark.
TEST(AppleSMCLight, EightBitReadingsSpanTheWholeCurve) {
    auto& sim = platform::sim::SimMachine::installNew();
    sim.simLightSensor().controllerPresent = true;
    auto sensor = AmbientLightSensor::alloc(AmbientLightSensor::Backend::Controller);
    sensor->init();
    auto levelAt = [&](int left, int right) {
        controllerValuesForSMCLight({std::uint8_t(left), std::uint8_t(right)}, true,
                                    sim.simLightSensor().outputs);
        return sensor->getCurrentAmbientLight();
    };
    EXPECT_EQ(levelAt(0, 0), 0.0);
    const double one = levelAt(1, 1);
    EXPECT_GT(one, 0.0);
    EXPECT_LT(one, 0.1);
    EXPECT_NEAR(levelAt(128, 128), 10.0 * 128 / 255, 1e-6);
    EXPECT_EQ(levelAt(255, 255), 10.0);
    EXPECT_LT(levelAt(25, 25), 1.0);  // the darkest tenth of the curve keeps 25 steps
    double previous = levelAt(0, 0);
    for (int v = 1; v <= 255; ++v) {
        const double level = levelAt(v, v);
        ASSERT_GT(level, previous) << v;
        ASSERT_LT(level - previous, 0.1) << v;
        previous = level;
    }
}

// Macs whose light key holds one reading leave the right value at 0 and read
// small numbers: a sunlit room (4,0) lands in the upper half of the curve, a
// covered sensor at 0, and each low reading has a level of its own.
TEST(AppleSMCLight, OneReadingMacsSpreadTheirFewLowValuesOverTheCurve) {
    auto& sim = platform::sim::SimMachine::installNew();
    sim.simLightSensor().controllerPresent = true;
    auto sensor = AmbientLightSensor::alloc(AmbientLightSensor::Backend::Controller);
    sensor->init();
    const auto levelAt = [&](int left) {
        controllerValuesForSMCLight({std::uint8_t(left), 0}, false, sim.simLightSensor().outputs);
        return sensor->getCurrentAmbientLight();
    };
    EXPECT_EQ(levelAt(0), 0.0);  // covered (MacBook Air 2013, lightum issue 46)
    const double sunlit = levelAt(4);
    EXPECT_GT(sunlit, 5.0);
    EXPECT_LT(sunlit, 7.0);
    EXPECT_GT(levelAt(1), 2.0);
    double previous = 0.0;
    for (int v = 1; v <= 16; ++v) {
        const double level = levelAt(v);
        EXPECT_GT(level - previous, 0.2) << v;
        previous = level;
    }
    EXPECT_NEAR(previous, 10.0, 1e-6);
    EXPECT_NEAR(levelAt(255), 10.0, 1e-6);
}

// On the Linux machine: once the right value has shown itself, the two are
// read as a pair, spread evenly, also when the right sensor is covered later.
TEST(AppleSMCLight, ARightValueShowingItselfMakesThemAPair) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    bed.laptop.writeSMCLight("(4,0)\n");
    LinuxMachine::installNew();
    auto sensor = AmbientLightSensor::alloc(AmbientLightSensor::Backend::Controller);
    sensor->init();
    auto level = [&] { return sensor->getCurrentAmbientLight(); };
    EXPECT_GT(level(), 5.0);
    bed.laptop.writeSMCLight("(200,200)\n");
    EXPECT_TRUE(soon([&] { return std::abs(level() - 10.0 * 200 / 255) < 1e-6; }, true));
    bed.laptop.writeSMCLight("(4,0)\n");  // now a covered right sensor: averaged
    EXPECT_TRUE(soon([&] { return level() < 0.2; }, true));
}

// Found by its driver, whatever the kernel named the device.
TEST(AppleSMCLight, FoundByItsDriverUnderAnyName) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    bed.laptop.registerSMC("applesmc");
    bed.laptop.writeSMCLight("(3,4)\n");
    EXPECT_EQ(AppleSMCLight::read(), (SMCLightValues{3, 4}));
    EXPECT_EQ(AppleSMCLight::attributePath(), bed.laptop.smcLightFile());
    EXPECT_NE(sensor.lmuService(), 0u);

    // Not bound (the driver's folder and the device's link gone): its MODALIAS still names it.
    std::filesystem::remove_all(bed.laptop.root() + "/sys/bus/platform/drivers");
    std::filesystem::remove(bed.laptop.root() + "/sys/devices/platform/applesmc/driver");
    EXPECT_EQ(AppleSMCLight::read(), (SMCLightValues{3, 4}));

    // Gone from where it was found, registered again under another name.
    std::filesystem::remove(bed.laptop.smcLightFile());
    bed.laptop.registerSMC("applesmc.1");
    bed.laptop.writeSMCLight("(5,6)\n");
    EXPECT_EQ(AppleSMCLight::read(), (SMCLightValues{5, 6}));

    std::filesystem::remove(bed.laptop.smcLightFile());  // an SMC without light keys
    EXPECT_FALSE(AppleSMCLight::present());
    EXPECT_EQ(sensor.lmuService(), 0u);
}
