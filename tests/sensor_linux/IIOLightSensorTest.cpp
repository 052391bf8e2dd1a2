// IIO light sensors in sysfs, and the service client reading one.
#include <gtest/gtest.h>

#include "linux/LinuxMachine.h"
#include "linux/light/IIOLightSensor.h"
#include "linux/light/LinuxLightSensor.h"
#include "support/LaptopOnLinux.h"
#include "support/Waiting.h"

using platform::FindingReason;
using platform::HardwareFinding;
using platform::linux_machine::IIOLightSensor;
using platform::linux_machine::LinuxLightSensor;
using platform::linux_machine::LinuxMachine;
using testing_support::LaptopOnLinux;
using testing_support::soon;

TEST(IIOLightSensor, RawValueIsOffsetAndScaledAndAProcessedOneWins) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    const auto device = bed.laptop.iioDevice("iio:device3");
    bed.laptop.writeIIO("iio:device3", "in_illuminance_raw", "100\n");
    EXPECT_EQ(IIOLightSensor::readLux(device), 100.0);
    bed.laptop.writeIIO("iio:device3", "in_illuminance_scale", "0.500000\n");
    EXPECT_EQ(IIOLightSensor::readLux(device), 50.0);
    bed.laptop.writeIIO("iio:device3", "in_illuminance_offset", "10\n");
    EXPECT_EQ(IIOLightSensor::readLux(device), 55.0);
    bed.laptop.writeIIO("iio:device3", "in_illuminance_input", "7.25");
    EXPECT_EQ(IIOLightSensor::readLux(device), 7.25);
}

TEST(IIOLightSensor, IndexedRawChannelUsesTheScaleAndOffsetSharedByItsType) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    const auto device = bed.laptop.iioDevice("iio:device0");
    bed.laptop.writeIIO("iio:device0", "in_illuminance0_raw", "200\n");
    bed.laptop.writeIIO("iio:device0", "in_illuminance_scale", "0.250000\n");
    bed.laptop.writeIIO("iio:device0", "in_illuminance_offset", "4\n");
    EXPECT_EQ(IIOLightSensor::readLux(device), 51.0);
    // The channel's own files win over the shared ones.
    bed.laptop.writeIIO("iio:device0", "in_illuminance0_scale", "0.5\n");
    bed.laptop.writeIIO("iio:device0", "in_illuminance0_offset", "0\n");
    EXPECT_EQ(IIOLightSensor::readLux(device), 100.0);
}

TEST(IIOLightSensor, GarbledOrNegativeValuesGiveNothing) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    const auto device = bed.laptop.iioDevice("iio:device0");
    for (const char* garbage : {"", "abc\n", "12abc\n", "-5\n", "nan\n", "inf\n", "1e999\n"}) {
        bed.laptop.writeIIO("iio:device0", "in_illuminance_input", garbage);
        EXPECT_EQ(IIOLightSensor::readLux(device), std::nullopt) << "for '" << garbage << "'";
    }
    bed.laptop.removeIIO("iio:device0");
    bed.laptop.writeIIO("iio:device0", "in_illuminance_raw", "10\n");
    bed.laptop.writeIIO("iio:device0", "in_illuminance_scale", "0,5\n");  // a locale's comma
    EXPECT_EQ(IIOLightSensor::readLux(device), std::nullopt);
    bed.laptop.writeIIO("iio:device0", "in_illuminance_scale", "0.5\n");
    bed.laptop.writeIIO("iio:device0", "in_illuminance_offset", "-20\n");  // negative light
    EXPECT_EQ(IIOLightSensor::readLux(device), std::nullopt);
}

// The service client follows the device it finds: devices without light are
// skipped, one that vanishes is let go, one that appears is taken up; what it
// reads and passed over is reported without reading anything again.
TEST(IIOLightSensor, ServiceClientFollowsTheDeviceItFindsAndSaysWhichItReads) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    auto reading = [&] { return sensor.copyAmbientLightReading(); };
    EXPECT_FALSE(sensor.hasServiceClient());
    EXPECT_EQ(reading(), std::nullopt);
    const std::string folder = bed.laptop.root() + "/sys/bus/iio/devices";
    EXPECT_EQ(sensor.serviceClientFindings(),
              (std::vector<HardwareFinding>{
                  {"iio-sensor-proxy", FindingReason::NotPresent, "no system bus"},
                  {"IIO", FindingReason::NotPresent,
                   "no device with an illuminance channel in " + folder},
                  {"the sun", FindingReason::NotPresent,
                   "no place for an estimate: no time zone is set (" + bed.laptop.root() +
                       "/etc/localtime)"}}));

    bed.laptop.writeIIO("iio:device0", "in_accel_x_raw", "12\n");
    bed.laptop.writeIIO("iio:device1", "in_illuminance0_input", "42\n");
    EXPECT_TRUE(soon(reading, 42.0));
    EXPECT_TRUE(sensor.hasServiceClient());
    EXPECT_EQ(sensor.serviceClientFindings().back(),
              (HardwareFinding{"IIO iio:device1", FindingReason::InUse,
                               bed.laptop.iioDevice("iio:device1") + ", 42.0 lux"}));

    bed.laptop.removeIIO("iio:device1");
    EXPECT_TRUE(soon(reading, std::nullopt));
    EXPECT_FALSE(sensor.hasServiceClient());
    bed.laptop.writeIIO("iio:device5", "in_illuminance_input", "90\n");
    EXPECT_TRUE(soon(reading, 90.0));
}

TEST(IIOLightSensor, GarbledValueGivesNoEventAndIsLoggedOnce) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    testing_support::ScopedEnv logToStderr("PLATFORM_LOG_STDERR", "1");
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "5\n");
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    auto reading = [&] { return sensor.copyAmbientLightReading(); };
    EXPECT_EQ(reading(), 5.0);
    testing::internal::CaptureStderr();
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "abc\n");
    EXPECT_TRUE(soon(reading, std::nullopt));
    EXPECT_TRUE(sensor.hasServiceClient());
    EXPECT_EQ(sensor.serviceClientFindings().back().reason, FindingReason::Unreadable);
    testing_support::waitFor([] { return false; }, 1.2);  // another tick, still garbled
    EXPECT_EQ(reading(), std::nullopt);
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "6\n");
    EXPECT_TRUE(soon(reading, 6.0));

    std::string log = testing::internal::GetCapturedStderr();
    const std::string garbled =
        "Ambient light sensor: unreadable or garbled value from IIO device " +
        bed.laptop.iioDevice("iio:device0");
    size_t count = 0;
    for (size_t at = log.find(garbled); at != std::string::npos; at = log.find(garbled, at + 1))
        ++count;
    EXPECT_EQ(count, 1u) << log;
}

// Sensors with only an intensity channel: "both" is lux, as iio-sensor-proxy
// reads it; "clear" (apds9960, tcs3472) is taken as lux when nothing else is
// there, and its name says its counts have no unit.
TEST(IIOLightSensor, IntensityOnlySensorsAreReadWithTheScaleSharedByTheirType) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    const auto clear = bed.laptop.iioDevice("iio:device0");
    bed.laptop.writeIIO("iio:device0", "in_intensity_clear_raw", "1085\n");
    bed.laptop.writeIIO("iio:device0", "in_intensity_red_raw", "4444\n");
    bed.laptop.writeIIO("iio:device0", "in_intensity_calibscale", "16\n");  // a gain, not a scale
    EXPECT_EQ(IIOLightSensor::findDevice(), clear);
    EXPECT_EQ(IIOLightSensor::readLux(clear), 1085.0);
    bed.laptop.writeIIO("iio:device0", "in_intensity_scale", "0.5\n");
    EXPECT_EQ(IIOLightSensor::readLux(clear), 542.5);
    EXPECT_EQ(IIOLightSensor::describe(clear),
              "IIO device " + clear + " (in_intensity_clear: counts without a unit, read as lux)");

    const auto both = bed.laptop.iioDevice("iio:device1");
    bed.laptop.writeIIO("iio:device1", "in_intensity_both_raw", "200\n");
    bed.laptop.writeIIO("iio:device1", "in_intensity_scale", "0.1\n");
    bed.laptop.writeIIO("iio:device1", "in_intensity_offset", "10\n");
    EXPECT_EQ(IIOLightSensor::findDevice(), both);  // in lux: preferred
    EXPECT_DOUBLE_EQ(IIOLightSensor::readLux(both).value_or(-1), 21.0);
    bed.laptop.writeIIO("iio:device1", "in_intensity_both_scale", "1\n");  // its own wins
    EXPECT_EQ(IIOLightSensor::readLux(both), 210.0);
    EXPECT_EQ(IIOLightSensor::describe(both), "IIO device " + both);
}

// Several devices: by number, not by name ("iio:device10" after
// "iio:device2"), and one in lux before one without a unit.
TEST(IIOLightSensor, DevicesAreTakenByNumberAndOneInLuxFirst) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    bed.laptop.writeIIO("iio:device10", "in_illuminance_input", "10\n");
    bed.laptop.writeIIO("iio:device2", "in_illuminance_input", "2\n");
    EXPECT_EQ(IIOLightSensor::findDevice(), bed.laptop.iioDevice("iio:device2"));
    bed.laptop.removeIIO("iio:device2");
    bed.laptop.writeIIO("iio:device1", "in_intensity_clear_raw", "1\n");
    EXPECT_EQ(IIOLightSensor::findDevice(), bed.laptop.iioDevice("iio:device10"));
    bed.laptop.removeIIO("iio:device10");
    EXPECT_EQ(IIOLightSensor::findDevice(), bed.laptop.iioDevice("iio:device1"));
}
