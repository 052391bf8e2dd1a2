// The sync request: the single-monitor guard, the live level from the sensor,
// and one request from the settings file on disk to both displays.
#include <gmock/gmock.h>

#include <algorithm>

#include "EngineTestSupport.h"
#include "linux/foundation/LinuxDefaults.h"
#include "support/SimAppleMonitor.h"
#include "support/TempDir.h"

namespace engine_testing {
namespace {

class SyncRequest : public EngineTest {
  protected:
    SyncRequest() {
        displays.setAllOptionalOperationsPresent();
        displays.addBuiltinDisplay(1, 0.5);
        displays.addExternalDisplay(9);
    }
    void request(bool smooth = false) {
        BrightnessController::sharedInstance()->updateDisplayBrightness(smooth);
    }
    int sensorReads() const {
        auto& sensor = sim.simLightSensor();
        return sensor.scalarCalls + sensor.eventCopies;
    }
};

// With the guard on, a request without a monitor does nothing at all (not
// even read the sensor), while a monitor's attach goes through; without the
// guard, the built-in display follows alone.
TEST_F(SyncRequest, SingleMonitorGuardStopsEverythingWhileNoMonitorIsAttached) {
    setFlatCurve(0.6, 0.3);
    setAmbientLevel(5.0);
    settings()[duolume::kSingleMonitorDisabledKey] = PlistValue::boolean(true);
    engine();
    markCalls();
    request();
    EXPECT_TRUE(callsSinceMark().empty());
    EXPECT_EQ(sensorReads(), 0);
    EXPECT_TRUE(displays.writes.empty());

    auto& monitor = testing_support::plugInAppleMonitor(hid, 0x9226, 0x1000);
    sim.runFor(0.01);
    EXPECT_NEAR(displays.find(1)->brightness, 0.6, 1e-6);
    EXPECT_EQ(testing_support::reportSixteen(monitor), static_cast<std::uint16_t>(0.3 * 65535.0));

    hid.plugOut(monitor);
    sim.runFor(0.01);
    settings().erase(duolume::kSingleMonitorDisabledKey);
    setFlatCurve(0.4, 0.3);
    const auto writes = displays.writes.size();
    request();
    EXPECT_EQ(displays.writes.size(), writes + 1);
    EXPECT_NEAR(displays.find(1)->brightness, 0.4, 1e-6);
}

#if !defined(DUOLUME_ALS_BACKEND_SERVICE_CLIENT)
// Only the controller back-end has failure markers.
TEST_F(SyncRequest, SensorFailureMarkerChangesNothing) {
    setFlatCurve(0.6, 0.3);
    // An Intel Mac whose SMC pair cannot be read: the controller back-end
    // answers with a failure marker.
    sim.simLightSensor().controllerPresent = true;
    sim.simLightSensor().scalarStatus = kIOReturnError;
    engine();
    ASSERT_LT(AmbientLightSensor::sharedInstance()->getCurrentAmbientLight(), 0.0);
    // Points named by the marker itself, so that only the guard on negative
    // levels can stop the request.
    for (const char* key : {"internal-1", "external-1", "internal-2", "external-2"})
        settings()[key] = PlistValue::real(0.5);
    request();
    EXPECT_TRUE(displays.writes.empty());
}
#endif

TEST_F(SyncRequest, AnotherProgramsChangeOfTheBuiltinDisplayIsLoggedOnceAfterEachOwnWrite) {
    const std::string line =
        "The built-in display's brightness was changed by another program since the last sync";
    auto reports = [&] { return std::count(sim.logLines.begin(), sim.logLines.end(), line); };
    setFlatCurve(1.2, 0.3);  // beyond the panel's end, where it stops
    setAmbientLevel(5.0);
    engine();
    request(true);
    displays.find(1)->brightness = 1.0;
    setFlatCurve(0.6, 0.3);
    request();
    request();
    EXPECT_EQ(reports(), 0) << "the engine's own writes, as the panel keeps them";

    displays.find(1)->brightness = 0.62;  // a small move of the desktop's slider
    request(true);
    EXPECT_EQ(reports(), 1);
    request();
    EXPECT_EQ(reports(), 1) << "the fade's last write is the engine's own";

    // Read again before the engine writes again: no second report.
    displays.find(1)->brightness = 0.3;
    BrightnessController::sharedInstance()->getBrightness(1);
    BrightnessController::sharedInstance()->getBrightness(1);
    EXPECT_EQ(reports(), 2);
}

TEST(SyncRequestFromFile, SettingsFileToBothDisplays) {
    testing_support::TempDir config;
    testing_support::ScopedEnv xdg("XDG_CONFIG_HOME", config.path());
    auto& sim = SimMachine::installNew();
    sim.useDefaultsStorage(std::make_unique<platform::linux_machine::LinuxDefaults>(sim));

    // The curve as the pane leaves it on disk, with points 4 and 5 moved.
    auto curve = duolume::initialSettings();
    curve["internal4"] = PlistValue::realSingle(0.4f);
    curve["internal5"] = PlistValue::realSingle(0.8f);
    curve["external4"] = PlistValue::realSingle(0.2f);
    curve["external5"] = PlistValue::realSingle(0.6f);
    duolume::writeInitialSettings(curve);
    const auto path =
        platform::linux_machine::LinuxDefaults::pathForDomain(duolume::ProductIdentifier);
    ASSERT_TRUE(testing_support::fileExists(path));
    ASSERT_NE(testing_support::readFile(path).find("internal5"), std::string::npos);

    auto& displays = sim.simDisplays();
    displays.setAllOptionalOperationsPresent();
    displays.setPresent(OptionalDisplayOperation::DisplayServicesSetBrightness, false);
    displays.addExternalDisplay(9);
    displays.addBuiltinDisplay(1, 0.1);
    auto& monitor = testing_support::plugInAppleMonitor(sim.simHID(), 0x9226, 0);

    // The sensor of this build, scripted to about level 4.5.
    const double level = scriptAmbientLevel(sim, 4.5);
    ASSERT_NEAR(level, 4.5, 0.01);
    const double fraction = level - 4.0;
    const double internal = 0.4f + fraction * (0.8f - 0.4f);
    const double external = 0.2f + fraction * (0.6f - 0.2f);

    BrightnessController::sharedInstance();
    sim.runFor(0.01);  // the monitor's attach: a smoothed request
    EXPECT_EQ(sim.sleeps.size(), 100u);
    sim.simHID().devices.front()->sent.clear();
    displays.writes.clear();

    BrightnessController::sharedInstance()->updateDisplayBrightness(false);
    ASSERT_EQ(displays.writes.size(), 1u);
    EXPECT_EQ(displays.writes[0].operation, "CoreDisplay_Display_SetUserBrightness");
    EXPECT_DOUBLE_EQ(displays.find(1)->brightness, internal);
    EXPECT_EQ(testing_support::reportSixteen(monitor),
              static_cast<std::uint16_t>(external * 65535.0));
    EXPECT_EQ(monitor.sent.size(), 1u);
}

}  // namespace
}  // namespace engine_testing
