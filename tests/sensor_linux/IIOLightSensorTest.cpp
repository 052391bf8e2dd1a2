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

// Sensors with only an intensity channel: "both" is lux, as iio-sensor-proxy
// reads it; "clear" (apds9960, tcs3472) is taken as lux when nothing else is
// there, and the log says its counts have no unit.
TEST(IIOLightSensor, IntensityOnlySensorsAreReadWithTheScaleSharedByTheirType) {
    VirtualLaptop laptop;
    testing_support::ScopedEnv logToStderr("PLATFORM_LOG_STDERR", "1");
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    testing::internal::CaptureStderr();
    laptop.writeIIO("iio:device0", "in_intensity_clear_raw", "1085\n");
    laptop.writeIIO("iio:device0", "in_intensity_red_raw", "4444\n");
    laptop.writeIIO("iio:device0", "in_intensity_calibscale", "16\n");  // a gain, not a scale
    EXPECT_TRUE(sensor.hasServiceClient());
    EXPECT_EQ(sensor.copyAmbientLightReading(), 1085.0);
    laptop.writeIIO("iio:device0", "in_intensity_scale", "0.5\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 542.5);

    laptop.writeIIO("iio:device1", "in_intensity_both_raw", "200\n");
    laptop.writeIIO("iio:device1", "in_intensity_scale", "0.1\n");
    laptop.writeIIO("iio:device1", "in_intensity_offset", "10\n");
    EXPECT_DOUBLE_EQ(sensor.copyAmbientLightReading().value_or(-1), 21.0);  // in lux: preferred
    laptop.writeIIO("iio:device1", "in_intensity_both_scale", "1\n");       // its own wins
    EXPECT_EQ(sensor.copyAmbientLightReading(), 210.0);

    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(
        log.find("Ambient light sensor: reading IIO device " + laptop.iioDevice("iio:device0") +
                 " (in_intensity_clear: counts without a unit, read as lux)"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("Ambient light sensor: reading IIO device " +
                       laptop.iioDevice("iio:device1") + "\n"),
              std::string::npos)
        << log;
}

// Several devices: by number, not by name ("iio:device10" after
// "iio:device2"), and one in lux before one without a unit.
TEST(IIOLightSensor, DevicesAreTakenByNumberAndOneInLuxFirst) {
    VirtualLaptop laptop;
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    laptop.writeIIO("iio:device10", "in_illuminance_input", "10\n");
    laptop.writeIIO("iio:device2", "in_illuminance_input", "2\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 2.0);
    laptop.removeIIO("iio:device2");
    laptop.writeIIO("iio:device1", "in_intensity_clear_raw", "1\n");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 10.0);
    laptop.removeIIO("iio:device10");
    EXPECT_EQ(sensor.copyAmbientLightReading(), 1.0);
}
