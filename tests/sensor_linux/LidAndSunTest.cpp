// The Linux light sources on a virtual laptop: the sun's estimate where
// there is no sensor, a lid closed through a fake logind or the ACPI button's
// file, and a resume after which the sensor is looked for afresh. The
// daylight clock is held at a fixed moment (PLATFORM_DAYLIGHT_CLOCK).
#include <gtest/gtest.h>

#include <cmath>

#include "linux/light/LinuxLightSensor.h"
#include "linux/light/SunEstimate.h"
#include "machine/LightEstimate.h"
#include "sensor_linux/FrozenNoon.h"
#include "support/FakeLogind.h"
#include "support/LaptopOnLinux.h"
#include "support/LoggingLinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/Waiting.h"

using platform::FindingReason;
using platform::LightEstimateCause;
using platform::LightEstimateInUse;
using platform::linux_machine::LinuxLightSensor;
using testing_support::LaptopOnLinux;
using namespace platform::linux_machine;
using testing_support::FakeLogind;
using testing_support::kFrozenNoon;
using testing_support::kNoon;
using testing_support::LoggingLinuxMachine;
using testing_support::PrivateBus;
using testing_support::ScopedEnv;

namespace {

double berlinAtNoon(double share = 0.02) {
    return estimatedRoomLux({52.5, 13 + 22 / 60.0, share}, kNoon);
}

void inBerlin(testing_support::VirtualLaptop& laptop) {
    laptop.setTimeZone("Europe/Berlin");
}

// Within a few percent, the clock having moved a hair.
bool near(const std::optional<double>& lux, double expected) {
    return lux && std::fabs(*lux - expected) <= 0.01 * expected;
}

template <typename Condition>
bool eventually(Condition condition, double seconds = 8.0) {
    return testing_support::waitFor(condition, seconds);
}

}  // namespace

TEST(SunLight, ALaptopWithoutASensorGetsTheSunsEstimateForItsTimeZone) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    inBerlin(bed.laptop);
    ScopedEnv clock("PLATFORM_DAYLIGHT_CLOCK", kFrozenNoon);
    auto& machine = LoggingLinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_TRUE(sensor.hasServiceClient());
    EXPECT_TRUE(near(sensor.copyAmbientLightReading(), berlinAtNoon()));
    EXPECT_EQ(sensor.serviceClientEstimate(),
              (LightEstimateInUse{"Berlin", LightEstimateCause::NoSensor}));
    EXPECT_EQ(sensor.serviceClientFindings().back().name, "the sun");
    EXPECT_EQ(sensor.serviceClientFindings().back().reason, FindingReason::InUse);
    EXPECT_TRUE(machine.logged("Light: estimated from the sun at Berlin (52.50 N, 13.37 E)"));

    // A bright room: two and a half times the light, told from the window.
    sensor.setEstimateOptions({0.05, false, {}});
    EXPECT_TRUE(
        eventually([&] { return near(sensor.copyAmbientLightReading(), berlinAtNoon(0.05)); }));
}

TEST(SunLight, WithoutASensorOrAPlaceThereIsNoLight) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    bed.laptop.setTimeZone("Etc/UTC");
    LoggingLinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_FALSE(sensor.hasServiceClient());
    EXPECT_EQ(sensor.copyAmbientLightReading(), std::nullopt);
    EXPECT_EQ(sensor.serviceClientEstimate(), std::nullopt);
    const auto sun = sensor.serviceClientFindings().back();
    EXPECT_EQ(sun.reason, FindingReason::NotPresent);
    EXPECT_NE(sun.detail.find("the time zone Etc/UTC names no place"), std::string::npos);
}

// The lid through logind, and through the ACPI button's file where no logind
// answers: the covered sensor's darkness is never handed on. (One process
// each: the machine's root is read once per process.)
class ClosedLid : public testing::TestWithParam<bool> {};

TEST_P(ClosedLid, CoversTheSensorAndOpeningItHandsBack) {
    const bool logind = GetParam();
    {
        LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
        inBerlin(bed.laptop);
        bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "300\n");
        ScopedEnv clock("PLATFORM_DAYLIGHT_CLOCK", kFrozenNoon);
        std::optional<PrivateBus> bus;
        std::optional<FakeLogind> fakeLogind;
        if (logind) {
            bus.emplace(PrivateBus::Kind::System);
            fakeLogind.emplace(bed.laptop.root() + "/sys/class/backlight");
        } else {
            bed.laptop.setLidClosed(false);
        }
        auto& machine = LoggingLinuxMachine::installNew();
        LinuxLightSensor sensor;
        ASSERT_EQ(sensor.copyAmbientLightReading(), 300.0);

        bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "0\n");  // the lid comes down
        if (logind)
            fakeLogind->setLidClosed(true);
        else
            bed.laptop.setLidClosed(true);
        ASSERT_TRUE(eventually([&] { return sensor.serviceClientEstimate().has_value(); }));
        EXPECT_EQ(sensor.serviceClientEstimate()->cause, LightEstimateCause::LidClosed);
        EXPECT_TRUE(near(sensor.copyAmbientLightReading(), 300.0));  // from where it stood
        EXPECT_TRUE(machine.logged("The lid is closed and covers the light sensor"));

        bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "120\n");  // open again
        if (logind)
            fakeLogind->setLidClosed(false);
        else
            bed.laptop.setLidClosed(false);
        EXPECT_TRUE(eventually([&] { return sensor.copyAmbientLightReading() == 120.0; }, 15.0));
        EXPECT_EQ(sensor.serviceClientEstimate(), std::nullopt);
        EXPECT_TRUE(machine.logged("The lid is open"));
    }
}

INSTANTIATE_TEST_SUITE_P(SunLight, ClosedLid, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "ThroughLogind" : "ThroughTheAcpiButton";
                         });

// The built-in panel switched off in the display settings, its sensor far
// darker than the sun's estimate: taken as covered, said once. With the
// panel on, the same darkness is the room's.
TEST(SunLight, ASwitchedOffPanelsDarkSensorIsTakenAsCovered) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    inBerlin(bed.laptop);
    const std::string panel = bed.laptop.addBuiltinPanel();
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "0.5\n");
    ScopedEnv clock("PLATFORM_DAYLIGHT_CLOCK", kFrozenNoon);
    auto& machine = LoggingLinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_EQ(sensor.copyAmbientLightReading(), 0.5);
    EXPECT_EQ(sensor.serviceClientEstimate(), std::nullopt);
    bed.laptop.setConnectorState(panel, true, false);
    ASSERT_TRUE(eventually([&] { return sensor.serviceClientEstimate().has_value(); }));
    EXPECT_EQ(sensor.serviceClientEstimate()->cause, LightEstimateCause::PanelOff);
    // Gliding up from the dark towards the estimate, 0.2 steps a second.
    EXPECT_TRUE(eventually([&] { return sensor.copyAmbientLightReading().value_or(0) > 5.0; }));
    EXPECT_TRUE(machine.logged("The built-in panel is switched off"));
}

// A resume: the sensor that vanished in the sleep is found under its new number.
TEST(SunLight, AfterAResumeTheSensorIsLookedForAfreshAndTheJournalSaysSo) {
    LaptopOnLinux bed(LaptopOnLinux::SessionBus::None);
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "80\n");
    PrivateBus bus(PrivateBus::Kind::System);
    FakeLogind logind(bed.laptop.root() + "/sys/class/backlight");
    auto& machine = LoggingLinuxMachine::installNew();
    LinuxLightSensor sensor;
    ASSERT_EQ(sensor.copyAmbientLightReading(), 80.0);
    logind.prepareForSleep(true);
    bed.laptop.removeIIO("iio:device0");
    bed.laptop.writeIIO("iio:device3", "in_illuminance_input", "900\n");
    logind.prepareForSleep(false);
    EXPECT_TRUE(eventually([&] { return sensor.copyAmbientLightReading() == 900.0; }));
    EXPECT_TRUE(eventually([&] {
        sensor.hasServiceClient();  // takes the sources' log lines
        return machine.logged("Resumed from sleep: reading the light sensor afresh");
    }));
    EXPECT_TRUE(machine.logged("Ambient light sensor: reading IIO device " + bed.laptop.root() +
                               "/sys/bus/iio/devices/iio:device3"));
}
