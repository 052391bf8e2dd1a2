// The service-client back-end against the real iio-sensor-proxy daemon, whose
// light sensor umockdev fakes. The machine's own sysfs root is an empty
// folder, so every reading comes through the daemon.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSNotificationCenter.h"
#include "machine/LightEstimate.h"
#include "machine/LightSensorBackend.h"
#include "real_parts/RealSensorProxy.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/SettingsStore.h"
#include "support/AgentProgram.h"
#include "support/ChildProcess.h"
#include "support/FakeLogind.h"
#include "support/LightLevels.h"
#include "support/LogLines.h"
#include "support/LoggingLinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"
#include "support/Waiting.h"

using namespace testing_support;
using platform::FindingReason;
using platform::HardwareFinding;
using Backend = AmbientLightSensor::Backend;

namespace {

using Levels = testing_support::LightLevels;

class RealProxy : public ::testing::Test {
  protected:
    void SetUp() override {
        auto why = RealSensorProxy::whyNotRunnable();
        if (!why.empty())
            GTEST_SKIP() << why;
    }
    // Starts the daemon, or fails the test with its output.
    void start(RealSensorProxy& proxy) {
        std::string why;
        ASSERT_TRUE(proxy.start(&why)) << why;
    }
    // Turns the run loop until a notification carries `level`.
    bool announced(const Levels& levels, double level, double seconds = 5.0) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            for (double v : levels.values)
                if (std::fabs(v - level) < 1e-9)
                    return true;
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
        }
        return false;
    }
    // Turns the run loop until `condition` holds, at most `seconds`.
    template <typename Condition>
    static bool turnUntil(Condition condition, double seconds) {
        return waitFor(
            [&] {
                CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
                return condition();
            },
            seconds);
    }
    // The service-client sensor, set up.
    static std::shared_ptr<AmbientLightSensor> startedSensor() {
        auto sensor = AmbientLightSensor::alloc(Backend::ServiceClient);
        sensor->init();
        return sensor;
    }
    static void sleep(double seconds) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }

    TempDir root;
    ScopedEnv sysroot{"PLATFORM_SYSROOT", root.path()};
    PrivateBus system{PrivateBus::Kind::System};
    LoggingLinuxMachine& machine = LoggingLinuxMachine::installNew();
};

}  // namespace

// Started 0.2 s after a fresh daemon, whose first poll comes 0.8 s after the
// claim: the set-up reading is the sensor's, not the daemon's 0.0 before it.
TEST_F(RealProxy, FirstReadingIsTheSensorsAndChangesAreFollowed) {
    RealSensorProxy proxy(RealSensorProxy::Sensor::IIOLight, 100.0);
    start(proxy);
    sleep(0.2);
    Levels levels;
    auto sensor = startedSensor();
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), std::log(101.0), 1e-9);
    EXPECT_TRUE(machine.logged("Ambient light sensor: reading iio-sensor-proxy"));

    proxy.setLux(5000.0);
    EXPECT_TRUE(announced(levels, std::log(5001.0)));
    for (double v : levels.values)
        EXPECT_GT(v, 4.0) << "a stale level was announced";
}

// A daemon that stops and starts again: meanwhile there is no reading, and the
// new daemon's stale 0.0 after the claim is never announced.
TEST_F(RealProxy, DaemonStoppedAndStartedAgainIsFollowedWithoutAStaleLevel) {
    RealSensorProxy proxy(RealSensorProxy::Sensor::IIOLight, 100.0);
    start(proxy);
    Levels levels;
    auto sensor = startedSensor();
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), std::log(101.0), 1e-9);

    proxy.stop();
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.2, false);
    EXPECT_TRUE(machine.logged("Ambient light sensor: none found"));
    proxy.setLux(300.0);
    start(proxy);
    EXPECT_TRUE(announced(levels, std::log(301.0)));
    for (double v : levels.values)
        EXPECT_NEAR(v, std::log(301.0), 1e-9) << "a stale level was announced";
}

// The daemon reports the Apple SMC in "vendor" units (a percentage, not lux):
// the service client reads the IIO device itself instead.
TEST_F(RealProxy, VendorUnitsFallBackToTheIIODevice) {
    RealSensorProxy proxy(RealSensorProxy::Sensor::AppleSMC, 0.0);
    start(proxy);
    VirtualLaptop laptop(root.path());
    laptop.setAmbientLight(0, 40.0);
    Levels levels;
    auto sensor = startedSensor();
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), std::log(41.0), 1e-9);
    EXPECT_TRUE(machine.logged("Ambient light sensor: reading IIO device"));
    EXPECT_FALSE(machine.logged("reading iio-sensor-proxy"));
    EXPECT_EQ(
        machine.lightSensor().serviceClientFindings().front(),
        (HardwareFinding{"iio-sensor-proxy", FindingReason::NotLux, "reports in vendor, not lux"}));
    laptop.setAmbientLight(0, 90.0);
    EXPECT_TRUE(announced(levels, std::log(91.0)));
}

// The window's process never waits on the daemon, not even on a hung one
// (stopped with SIGSTOP), follows the light from its announcements, and
// releases its claim when the machine is torn down (the window closed).
TEST_F(RealProxy, WindowNeverWaitsOnTheDaemonFollowsItAndReleasesTheClaim) {
    // The machine sees a light device of its own, as a laptop with the daemon does.
    writeFile(root.path() + "/sys/bus/iio/devices/iio:device0/in_illuminance_input", "100\n");
    machine.setMainThreadNeverWaits(true);
    SensorProxyCalls calls;
    RealSensorProxy proxy(RealSensorProxy::Sensor::IIOLight, 100.0);
    start(proxy);
    Levels levels;
    auto& backend = machine.lightSensor();
    double slowest = 0.0;
    auto timed = [&](const std::function<void()>& call) {
        const auto begin = std::chrono::steady_clock::now();
        call();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
        slowest = std::max(slowest, took.count());
    };
    auto sensor = AmbientLightSensor::alloc(Backend::ServiceClient);
    timed([&] { sensor->init(); });
    proxy.setLux(5000.0);  // the daemon's device only
    EXPECT_TRUE(announced(levels, std::log(5001.0)));
    EXPECT_EQ(
        backend.serviceClientFindings(),
        (std::vector<HardwareFinding>{{"iio-sensor-proxy", FindingReason::InUse, "5000.0 lux"}}));

    proxy.signal(SIGSTOP);
    for (int i = 0; i < 20; ++i) {
        timed([&] {
            backend.hasServiceClient();
            backend.copyAmbientLightReading();
            backend.serviceClientFindings();
        });
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, false);
    }
    proxy.signal(SIGCONT);
    EXPECT_LT(slowest, 0.3) << "the window's thread waited on the daemon";
    EXPECT_EQ(calls.count("ClaimLight"), 1);
    EXPECT_EQ(calls.count("ReleaseLight"), 0);
    platform::Machine::install(nullptr);
    EXPECT_TRUE(waitFor([&] { return calls.count("ReleaseLight") == 1; }, 2.0));
}

// --- A sensor that freezes, vanishes in a suspend, or jumps ---------------

// The daemon hangs (SIGSTOP) at dawn: its level stays put while the sun's
// estimate rises (a daylight clock two hours a second), so it is taken as
// stopped and the sun takes over; it goes on and its light moves, and it is
// read again.
TEST_F(RealProxy, AFrozenDaemonIsTakenAsStoppedAndReadAgainWhenItMoves) {
    VirtualLaptop(root.path()).setTimeZone("Europe/Berlin");
    ScopedEnv clock("PLATFORM_DAYLIGHT_CLOCK", "1718937000,7200");  // 21 June, 02:30 UTC
    RealSensorProxy proxy(RealSensorProxy::Sensor::IIOLight, 60.0);
    start(proxy);
    auto sensor = startedSensor();
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), std::log(61.0), 1e-9);
    proxy.signal(SIGSTOP);
    EXPECT_TRUE(turnUntil(
        [] {
            const auto e = platform::lightServiceClientEstimate();
            return e && e->cause == platform::LightEstimateCause::SensorStopped;
        },
        15.0))
        << "lines: " << machine.lines.size();
    EXPECT_TRUE(machine.logged("has kept one reading for 2 hours"));
    // (At two hours a second a steady sensor is soon taken as stopped again
    // while the sun moves: the journal tells that it was read again.)
    proxy.signal(SIGCONT);
    proxy.setLux(900.0);
    EXPECT_TRUE(turnUntil(
        [&] {
            return machine.logged(
                "Light: read from iio-sensor-proxy (net.hadess.SensorProxy) again");
        },
        15.0));
}

// A resume with the daemon still there: the claim is given back and taken
// again, so the daemon polls afresh, and the journal says so.
TEST_F(RealProxy, AfterAResumeTheLightIsClaimedAgain) {
    FakeLogind logind(root.path() + "/sys/class/backlight");
    SensorProxyCalls calls;
    RealSensorProxy proxy(RealSensorProxy::Sensor::IIOLight, 100.0);
    start(proxy);
    auto sensor = startedSensor();
    ASSERT_EQ(calls.count("ClaimLight"), 1);
    logind.prepareForSleep(true);
    proxy.setLux(700.0);
    logind.prepareForSleep(false);
    EXPECT_TRUE(waitFor([&] { return calls.count("ClaimLight") == 2; }, 5.0));
    EXPECT_EQ(calls.count("ReleaseLight"), 1);
    EXPECT_TRUE(turnUntil(
        [&] { return std::fabs(sensor->getCurrentAmbientLight() - std::log(701.0)) < 1e-9; },
        10.0));
    EXPECT_TRUE(
        machine.logged("Resumed from sleep: claiming the light sensor of iio-sensor-proxy"));
}

// The daemon and its device go in the suspend; after it the device comes back
// as iio:device1 and the daemon starts again: its light is followed, and what
// the displays had stands meanwhile (no darkness, no stale level).
TEST_F(RealProxy, ASensorThatVanishesInASuspendAndComesBackRenumberedIsFollowed) {
    FakeLogind logind(root.path() + "/sys/class/backlight");
    auto before = std::make_unique<RealSensorProxy>(RealSensorProxy::Sensor::IIOLight, 100.0);
    start(*before);
    auto sensor = startedSensor();
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.5, false);  // the first reading stands
    Levels levels;
    logind.prepareForSleep(true);
    before.reset();
    RealSensorProxy after(RealSensorProxy::Sensor::IIOLight, 2500.0, 1);
    start(after);
    logind.prepareForSleep(false);
    EXPECT_TRUE(announced(levels, std::log(2501.0), 10.0));
    for (double v : levels.values)
        EXPECT_TRUE(std::fabs(v - std::log(2501.0)) < 1e-9) << "announced " << v;
}

// A sensor whose readings drop to 0.03 lux between readings near 400 (as a
// ThinkBook 13x's do): no dropout is ever announced.
TEST_F(RealProxy, SpikesInTheReadingsAreNeverAnnounced) {
    RealSensorProxy proxy(RealSensorProxy::Sensor::IIOLight, 400.0);
    start(proxy);
    Levels levels;
    auto sensor = startedSensor();
    for (int i = 0; i < 10; ++i) {
        proxy.setLux(i % 2 ? 0.03 : 420.0);
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.8, false);
    }
    for (double v : levels.values)
        EXPECT_GT(v, std::log(300.0)) << "a dropout was announced";
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), std::log(401.0), 0.1);
}

#if !defined(DUOLUME_ALS_BACKEND_CONTROLLER)
// The agent as its own process, started 0.2 s after a fresh daemon: its first
// line already has the sensor's light (100 lux, level 4.62), never the
// daemon's 0.0 from before its first poll; then it follows a change.
TEST_F(RealProxy, AgentStartedRightAfterTheDaemonFollowsTheLightFromItsFirstLine) {
    VirtualLaptop laptop(root.path());
    laptop.addConnectorBacklight("intel_backlight", laptop.addBuiltinPanel(), 1000, 900);
    TempDir config;
    ScopedEnv configHome("XDG_CONFIG_HOME", config.path());
    PrivateBus session;
    auto settings = duolume::initialSettings();
    settings["enabled"] = PlistValue::integer(1);
    // Darkness has a point of its own, so a stale 0.0 would show in a line.
    settings["internal0"] = PlistValue::real(0.05);
    settings["external0"] = PlistValue::real(0.05);
    duolume::writeInitialSettings(settings);

    RealSensorProxy proxy(RealSensorProxy::Sensor::IIOLight, 100.0);
    start(proxy);
    sleep(0.2);
    SensorProxyCalls calls;
    ChildProcess agent({kAgentProgram}, {{"PLATFORM_LOG_STDERR", "1"}});
    auto lines = [&] {
        std::vector<std::string> found;
        std::istringstream in(agent.standardError());
        for (std::string line; std::getline(in, line);)
            if (line.find("Light level ") != std::string::npos)
                found.push_back(line);
        return found;
    };
    auto waitForLine = [&](const std::string& part) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (anyLineHolds(lines(), part))
                return true;
            sleep(0.05);
        }
        return false;
    };
    ASSERT_TRUE(waitForLine("Light level 4.62")) << agent.standardError();
    EXPECT_NE(lines().front().find("Light level 4.62"), std::string::npos) << agent.standardError();
    proxy.setLux(5000.0);
    EXPECT_TRUE(waitForLine("Light level 8.52")) << agent.standardError();
    // Its claim is released when it ends (a look at the machine may have
    // claimed and released the light once before).
    const int released = calls.count("ReleaseLight");
    agent.signal(SIGTERM);
    EXPECT_EQ(agent.wait(10.0), 0);
    EXPECT_TRUE(waitFor([&] { return calls.count("ReleaseLight") == released + 1; }, 2.0));
}
#endif
