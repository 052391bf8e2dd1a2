// The controller on Linux: the Apple SMC driver's light attribute.
#include <gtest/gtest.h>

#include "IOKit/IOKitLib.h"
#include "IOKit/IOServiceConnection.h"
#include "VirtualLaptop.h"
#include "linux/AppleSMCLight.h"
#include "linux/LinuxLightSensor.h"
#include "linux/LinuxMachine.h"

using platform::linux_machine::AppleSMCLight;
using platform::linux_machine::LinuxLightSensor;
using platform::linux_machine::LinuxMachine;
using platform::linux_machine::SMCLightValues;

TEST(AppleSMCLight, ParsesTheDriversPairAndRejectsAnythingElse) {
    EXPECT_EQ(AppleSMCLight::parse("(3,0)\n"), (SMCLightValues{3, 0}));
    EXPECT_EQ(AppleSMCLight::parse("(1000,2000)"), (SMCLightValues{1000, 2000}));
    for (const char* garbage : {"", "\n", "()", "(,)", "(1,)", "(,2)", "(1;2)", "1,2", "(1,2",
                                "(-1,2)", "(1, 2)", "(1,2)x", "(99999999999999999999999,1)"}) {
        EXPECT_EQ(AppleSMCLight::parse(garbage), std::nullopt) << "for '" << garbage << "'";
    }
}

TEST(AppleSMCLight, ScalarMethodZeroReadsTheAttributeAfresh) {
    VirtualLaptop laptop;
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_EQ(sensor.lmuService(), 0u);
    laptop.writeSMCLight("(12,34)\n");
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
    EXPECT_EQ(out[0], 12u);
    EXPECT_EQ(out[1], 34u);

    laptop.writeSMCLight("(56,0)\n");
    ASSERT_EQ(sensor.callScalarMethod(connect, 0, out, &count), kIOReturnSuccess);
    EXPECT_EQ(out[0], 56u);
    laptop.writeSMCLight("garbage");
    EXPECT_NE(sensor.callScalarMethod(connect, 0, out, &count), kIOReturnSuccess);
    std::filesystem::remove(laptop.smcLight());
    EXPECT_NE(sensor.callScalarMethod(connect, 0, out, &count), kIOReturnSuccess);
    EXPECT_EQ(sensor.lmuService(), 0u);
    laptop.writeSMCLight("(1,1)\n");  // back again: the open connection reads it
    EXPECT_EQ(sensor.callScalarMethod(connect, 0, out, &count), kIOReturnSuccess);
    EXPECT_NE(sensor.callScalarMethod(connect, 1, out, &count), kIOReturnSuccess);
}

TEST(AppleSMCLight, UnreadableAttributeCannotBeOpened) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    VirtualLaptop laptop;
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    laptop.writeSMCLight("(1,2)\n");
    std::filesystem::permissions(laptop.smcLight(), std::filesystem::perms::none);
    io_connect_t connect = 0;
    EXPECT_EQ(sensor.openService(sensor.lmuService(), 0, &connect), kIOReturnNotPrivileged);
    EXPECT_EQ(connect, 0u);
}
