// The service client on Linux reading iio-sensor-proxy on a private system bus.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

#include "FakeSensorProxy.h"
#include "linux/LinuxMachine.h"
#include "linux/light/LinuxLightSensor.h"
#include "support/LaptopOnLinux.h"
#include "support/PrivateBus.h"
#include "support/Waiting.h"

using platform::FindingReason;
using platform::HardwareFinding;
using platform::linux_machine::LinuxLightSensor;
using platform::linux_machine::LinuxMachine;
using testing_support::LaptopOnLinux;
using testing_support::PrivateBus;
using testing_support::soon;

namespace {

std::vector<FindingReason> reasons(const std::vector<HardwareFinding>& findings) {
    std::vector<FindingReason> out;
    for (const auto& f : findings)
        out.push_back(f.reason);
    return out;
}

// A laptop and a private system bus for the service; a test writes the IIO
// device and starts the service, then the machine and its sensor.
class SensorProxy : public ::testing::Test {
  protected:
    // `windowsThread`: the machine as a window installs it.
    LinuxLightSensor& start(bool windowsThread = false) {
        LinuxMachine::installNew().setMainThreadNeverWaits(windowsThread);
        sensor.emplace();
        return *sensor;
    }
    std::function<std::optional<double>()> reading = [this] {
        return sensor->copyAmbientLightReading();
    };

    LaptopOnLinux bed{LaptopOnLinux::SessionBus::None};
    PrivateBus bus{PrivateBus::Kind::System};
    std::optional<LinuxLightSensor> sensor;
};

}  // namespace

// Claimed once, followed from its announcements, released when the sensor ends.
TEST_F(SensorProxy, LuxLevelIsClaimedFollowedAndReleased) {
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "50\n");
    FakeSensorProxy proxy(bus.address(), {true, "lux", 300.0});
    EXPECT_TRUE(start().hasServiceClient());
    EXPECT_EQ(reading(), 300.0);
    // (A change within 10 % would be noise: SteadyLight.h.)
    proxy.setState({true, "lux", 620.5});
    EXPECT_TRUE(soon(reading, 620.5));
    EXPECT_EQ(
        sensor->serviceClientFindings(),
        (std::vector<HardwareFinding>{{"iio-sensor-proxy", FindingReason::InUse, "620.5 lux"}}));
    EXPECT_EQ(proxy.releases(), 0);
    sensor.reset();
    EXPECT_EQ(proxy.claims(), 1);
    EXPECT_EQ(proxy.releases(), 1);
}

// Until the claimed service announces its first reading, its level is the
// stale one it had before: the IIO device is read directly, and without one
// the service's value is taken only after the bounded wait.
TEST_F(SensorProxy, UnannouncedLevelAfterTheClaimIsNotTakenForAReading) {
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "120\n");
    FakeSensorProxy proxy(bus.address(), {true, "lux", 33.0});
    proxy.silence();
    start();
    EXPECT_EQ(reading(), 120.0);
    EXPECT_EQ(reasons(sensor->serviceClientFindings()),
              (std::vector<FindingReason>{FindingReason::NotYetKnown, FindingReason::InUse}));
    bed.laptop.removeIIO("iio:device0");
    EXPECT_TRUE(soon(reading, 33.0));
    EXPECT_EQ(sensor->serviceClientFindings(),
              (std::vector<HardwareFinding>{{"iio-sensor-proxy", FindingReason::InUse,
                                             "33.0 lux, not confirmed by an announcement"}}));
}

TEST_F(SensorProxy, VendorUnitsOrNoLightSensorFallBackToIIO) {
    bed.laptop.writeIIO("iio:device0", "in_illuminance_raw", "50\n");
    FakeSensorProxy proxy(bus.address(), {true, "vendor", 80.0});
    start();
    EXPECT_EQ(reading(), 50.0);
    EXPECT_EQ(sensor->serviceClientFindings(),
              (std::vector<HardwareFinding>{
                  {"iio-sensor-proxy", FindingReason::NotLux, "reports in vendor, not lux"},
                  {"IIO iio:device0", FindingReason::InUse,
                   bed.laptop.iioDevice("iio:device0") + ", 50.0 lux"}}));
    EXPECT_EQ(proxy.claims(), 0);
    proxy.setState({false, "lux", 80.0});
    testing_support::waitFor([] { return false; }, 0.3);
    EXPECT_EQ(sensor->serviceClientFindings().front().reason, FindingReason::NotPresent);
    EXPECT_EQ(reading(), 50.0);
    proxy.setState({true, "lux", 80.0});
    EXPECT_TRUE(soon(reading, 80.0));
}

TEST_F(SensorProxy, GarbledLevelGivesNoEvent) {
    FakeSensorProxy proxy(bus.address(), {true, "lux", std::numeric_limits<double>::quiet_NaN()});
    start();
    EXPECT_TRUE(sensor->hasServiceClient());
    EXPECT_EQ(reading(), std::nullopt);
    EXPECT_EQ(reasons(sensor->serviceClientFindings()),
              (std::vector<FindingReason>{FindingReason::Unreadable}));
    proxy.setState({true, "lux", 3.0});
    EXPECT_TRUE(soon(reading, 3.0));
    proxy.setState({true, "lux", -3.0});
    EXPECT_TRUE(soon(reading, std::nullopt));
}

TEST_F(SensorProxy, RestartedServiceIsClaimedAgainAndAVanishedBusIsSurvived) {
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "7\n");
    start();
    {
        FakeSensorProxy first(bus.address(), {true, "lux", 100.0});
        EXPECT_EQ(reading(), 100.0);
        first.releaseName();
        EXPECT_TRUE(soon(reading, 7.0));
    }
    FakeSensorProxy second(bus.address(), {true, "lux", 200.0});
    EXPECT_TRUE(soon(reading, 200.0));
    EXPECT_EQ(second.claims(), 1);
    bus.stop();
    EXPECT_TRUE(soon(reading, 7.0));
    EXPECT_TRUE(sensor->hasServiceClient());
}

// A window's thread never waits: the first answer is what is held (0.0 before
// anything is known, like the service itself before its first poll), and the
// service's first announcement is taken up on the sources' thread.
TEST_F(SensorProxy, WindowsThreadNeverWaitsForTheFirstAnnouncement) {
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "garbled\n");
    FakeSensorProxy proxy(bus.address(), {true, "lux", 60.0});
    proxy.silence();
    start(/*windowsThread=*/true);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(sensor->hasServiceClient());
    EXPECT_EQ(reading(), 0.0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
    bed.laptop.writeIIO("iio:device0", "in_illuminance_input", "40\n");
    EXPECT_TRUE(soon(reading, 40.0));
    bed.laptop.removeIIO("iio:device0");
    EXPECT_TRUE(soon(reading, 60.0));  // the wait ran out on the sources' thread
}
