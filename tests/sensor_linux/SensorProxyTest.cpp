// The service client on Linux reading iio-sensor-proxy on a private system bus.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FakeSensorProxy.h"
#include "VirtualLaptop.h"
#include "linux/LinuxLightSensor.h"
#include "linux/LinuxMachine.h"
#include "support/PrivateBus.h"

using platform::linux_machine::LinuxLightSensor;
using platform::linux_machine::LinuxMachine;
using testing_support::PrivateBus;

TEST(SensorProxy, LuxLevelIsClaimedOnceAndReadAfresh) {
    VirtualLaptop laptop;
    laptop.writeIIO("iio:device0", "in_illuminance_input", "50\n");
    PrivateBus bus(PrivateBus::Kind::System);
    FakeSensorProxy proxy(bus.address(), {true, "lux", 300.0});
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_TRUE(sensor.hasServiceClient());
    EXPECT_EQ(sensor.copyAmbientLightReading(), 300.0);
    proxy.setState({true, "lux", 310.5});
    EXPECT_EQ(sensor.copyAmbientLightReading(), 310.5);
    EXPECT_EQ(proxy.claims(), 1);
}

// Until the claimed service announces its first reading, its level is the
// stale one it had before: the IIO device is read directly, and without one
// the service's value is taken only after the bounded wait.
TEST(SensorProxy, UnannouncedLevelAfterTheClaimIsNotTakenForAReading) {
    VirtualLaptop laptop;
    laptop.writeIIO("iio:device0", "in_illuminance_input", "120\n");
    PrivateBus bus(PrivateBus::Kind::System);
    FakeSensorProxy proxy(bus.address(), {true, "lux", 0.0});
    proxy.silence();
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_EQ(sensor.copyAmbientLightReading(), 120.0);
    laptop.removeIIO("iio:device0");
    proxy.setState({true, "lux", 33.0});
    EXPECT_EQ(sensor.copyAmbientLightReading(), 33.0);
}

TEST(SensorProxy, VendorUnitsOrNoLightSensorFallBackToIIO) {
    VirtualLaptop laptop;
    laptop.writeIIO("iio:device0", "in_illuminance_raw", "50\n");
    PrivateBus bus(PrivateBus::Kind::System);
    FakeSensorProxy proxy(bus.address(), {true, "vendor", 80.0});
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_EQ(sensor.copyAmbientLightReading(), 50.0);
    proxy.setState({false, "lux", 80.0});
    EXPECT_EQ(sensor.copyAmbientLightReading(), 50.0);
    proxy.setState({true, "lux", 80.0});
    EXPECT_EQ(sensor.copyAmbientLightReading(), 80.0);
}

TEST(SensorProxy, GarbledLevelGivesNoEvent) {
    VirtualLaptop laptop;
    PrivateBus bus(PrivateBus::Kind::System);
    FakeSensorProxy proxy(bus.address(), {true, "lux", std::numeric_limits<double>::quiet_NaN()});
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    EXPECT_TRUE(sensor.hasServiceClient());
    EXPECT_EQ(sensor.copyAmbientLightReading(), std::nullopt);
    proxy.setState({true, "lux", -3.0});
    EXPECT_EQ(sensor.copyAmbientLightReading(), std::nullopt);
    proxy.setState({true, "lux", 3.0});
    EXPECT_EQ(sensor.copyAmbientLightReading(), 3.0);
}

TEST(SensorProxy, RestartedServiceIsClaimedAgainAndAVanishedBusIsSurvived) {
    VirtualLaptop laptop;
    laptop.writeIIO("iio:device0", "in_illuminance_input", "7\n");
    PrivateBus bus(PrivateBus::Kind::System);
    LinuxMachine::installNew();
    LinuxLightSensor sensor;
    {
        FakeSensorProxy first(bus.address(), {true, "lux", 100.0});
        EXPECT_EQ(sensor.copyAmbientLightReading(), 100.0);
        first.releaseName();
        EXPECT_EQ(sensor.copyAmbientLightReading(), 7.0);
    }
    FakeSensorProxy second(bus.address(), {true, "lux", 200.0});
    EXPECT_EQ(sensor.copyAmbientLightReading(), 200.0);
    EXPECT_EQ(second.claims(), 1);
    bus.stop();
    EXPECT_EQ(sensor.copyAmbientLightReading(), 7.0);
    EXPECT_TRUE(sensor.hasServiceClient());
}
