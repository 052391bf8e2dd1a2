// The service client on Linux reading IIO light sensors from sysfs.
#include <gtest/gtest.h>

#include "VirtualLaptop.h"
#include "linux/LinuxLightSensor.h"
#include "linux/LinuxMachine.h"

using platform::linux_machine::LinuxLightSensor;
using platform::linux_machine::LinuxMachine;

TEST(IIOLightSensor, InputFileGivesLux) {
    VirtualLaptop laptop;
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_FALSE(sensor.hasServiceClient());
    EXPECT_EQ(sensor.copyAmbientLightReading(), std::nullopt);

    laptop.writeIIO("iio:device0", "in_illuminance_input", "150.5\n");
    EXPECT_TRUE(sensor.hasServiceClient());
    EXPECT_EQ(sensor.copyAmbientLightReading(), 150.5);
    // Read afresh at every event.
    laptop.writeIIO("iio:device0", "in_illuminance_input", "0\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 0.0);
}

TEST(IIOLightSensor, RawValueIsOffsetAndScaled) {
    VirtualLaptop laptop;
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    laptop.writeIIO("iio:device3", "in_illuminance_raw", "100\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 100.0);
    laptop.writeIIO("iio:device3", "in_illuminance_scale", "0.500000\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 50.0);
    laptop.writeIIO("iio:device3", "in_illuminance_offset", "10\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 55.0);
    // A processed value wins over the raw one.
    laptop.writeIIO("iio:device3", "in_illuminance_input", "7.25");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 7.25);
}

TEST(IIOLightSensor, NumberedChannelAndDevicesWithoutLightAreSkipped) {
    VirtualLaptop laptop;
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    laptop.writeIIO("iio:device0", "in_accel_x_raw", "12\n");
    laptop.writeIIO("iio:device1", "in_illuminance0_input", "42\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 42.0);
}

TEST(IIOLightSensor, IndexedRawChannelUsesTheScaleAndOffsetSharedByItsType) {
    VirtualLaptop laptop;
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    laptop.writeIIO("iio:device0", "in_illuminance0_raw", "200\n");
    laptop.writeIIO("iio:device0", "in_illuminance_scale", "0.250000\n");
    laptop.writeIIO("iio:device0", "in_illuminance_offset", "4\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 51.0);
    // The channel's own files win over the shared ones.
    laptop.writeIIO("iio:device0", "in_illuminance0_scale", "0.5\n");
    laptop.writeIIO("iio:device0", "in_illuminance0_offset", "0\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 100.0);
}

TEST(IIOLightSensor, GarbledValuesGiveNoEventUntilTheyAreReadableAgain) {
    VirtualLaptop laptop;
    testing_support::ScopedEnv logToStderr("PLATFORM_LOG_STDERR", "1");
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    testing::internal::CaptureStderr();
    for (const char* garbage : {"", "abc\n", "12abc\n", "-5\n", "nan\n", "inf\n", "1e999\n"}) {
        laptop.writeIIO("iio:device0", "in_illuminance_input", garbage);
        EXPECT_EQ(sensor.copyAmbientLightReading(), std::nullopt) << "for '" << garbage << "'";
        EXPECT_TRUE(sensor.hasServiceClient());
    }
    laptop.removeIIO("iio:device0");
    laptop.writeIIO("iio:device0", "in_illuminance_raw", "10\n");
    laptop.writeIIO("iio:device0", "in_illuminance_scale", "0,5\n");  // a locale's comma
    EXPECT_EQ(sensor.copyAmbientLightReading(), std::nullopt);
    laptop.writeIIO("iio:device0", "in_illuminance_scale", "0.5\n");
    laptop.writeIIO("iio:device0", "in_illuminance_offset", "-20\n");  // negative light
    EXPECT_EQ(sensor.copyAmbientLightReading(), std::nullopt);
    laptop.writeIIO("iio:device0", "in_illuminance_offset", "0\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 5.0);

    // One line when the value turns garbled, not one per read.
    std::string log = testing::internal::GetCapturedStderr();
    const std::string garbled =
        "Ambient light sensor: unreadable or garbled value from IIO device " +
        laptop.iioDevice("iio:device0");
    size_t count = 0;
    for (size_t at = log.find(garbled); at != std::string::npos; at = log.find(garbled, at + 1))
        ++count;
    EXPECT_EQ(count, 1u) << log;
}

TEST(IIOLightSensor, DeviceThatVanishesAndAnotherThatAppears) {
    VirtualLaptop laptop;
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    laptop.writeIIO("iio:device0", "in_illuminance_input", "80\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 80.0);
    laptop.removeIIO("iio:device0");
    EXPECT_EQ(sensor.copyAmbientLightReading(), std::nullopt);
    EXPECT_FALSE(sensor.hasServiceClient());
    laptop.writeIIO("iio:device5", "in_illuminance_input", "90\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 90.0);
}
