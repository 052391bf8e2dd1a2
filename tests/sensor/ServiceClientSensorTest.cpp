// The service-client back-end on the simulated machine.
#include <cmath>
#include <limits>

#include "SensorTestSupport.h"

using platform::sim::SimMachine;
using Backend = AmbientLightSensor::Backend;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

SimMachine& machineWithReading(double reading) {
    auto& sim = SimMachine::installNew();
    sim.simLightSensor().serviceClientPresent = true;
    sim.simLightSensor().reading = reading;
    return sim;
}

double levelForReading(double reading) {
    machineWithReading(reading);
    return newSensor(Backend::ServiceClient)->getCurrentAmbientLight();
}

}  // namespace

TEST(ServiceClientSensor, LevelIsLogOfReadingPlusOneCappedAtTen) {
    EXPECT_EQ(levelForReading(0.0), 0.0);
    EXPECT_NEAR(levelForReading(std::exp(1.0) - 1.0), 1.0, 1e-12);
    EXPECT_NEAR(levelForReading(100.0), 4.61512051684126, 1e-12);
    EXPECT_NEAR(levelForReading(147.4131591025766), 5.0, 1e-12);
    EXPECT_EQ(levelForReading(22025.47), 10.0);
    EXPECT_EQ(levelForReading(1e9), 10.0);
    EXPECT_EQ(levelForReading(std::numeric_limits<double>::infinity()), 10.0);
    EXPECT_EQ(levelForReading(kNaN), 10.0);
    // Just below e^10 - 1 the level is still below the cap.
    EXPECT_LT(levelForReading(22025.0), 10.0);
}

TEST(ServiceClientSensor, SetUpReadingIsNotAnnouncedAndChangesAreAnnouncedOnceEach) {
    auto& sim = machineWithReading(100.0);
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::ServiceClient);
    EXPECT_TRUE(recorder.levels.empty());

    // Changed at once: the first tick, a whole second after set-up, announces it.
    sim.simLightSensor().reading = std::exp(1.0) - 1.0;
    sim.runFor(0.99);
    EXPECT_TRUE(recorder.levels.empty());
    sim.runFor(0.02);
    ASSERT_EQ(recorder.levels.size(), 1u);
    EXPECT_NEAR(recorder.levels[0], 1.0, 1e-12);
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), 1.0, 1e-12);
    sim.runFor(3.0);  // three ticks with the same reading
    EXPECT_EQ(recorder.levels.size(), 1u);
}

TEST(ServiceClientSensor, ChangedReadingWithTheSameLevelIsAnnouncedAgain) {
    auto& sim = machineWithReading(30000.0);
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::ServiceClient);
    sim.simLightSensor().nextReadings = {40000.0, 50000.0, 50000.0};
    sim.runFor(3.0);
    EXPECT_EQ(recorder.levels, (std::vector<double>{10.0, 10.0}));
}

TEST(ServiceClientSensor, NaNReadingIsAnnouncedAtEveryTick) {
    auto& sim = machineWithReading(5.0);
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::ServiceClient);
    sim.simLightSensor().reading = kNaN;
    sim.runFor(3.0);
    EXPECT_EQ(recorder.levels, (std::vector<double>{10.0, 10.0, 10.0}));
}

TEST(ServiceClientSensor, NothingIsAnnouncedWhileTheRunLoopIsInAnotherMode) {
    auto& sim = machineWithReading(1.0);
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::ServiceClient);
    sim.simLightSensor().reading = 50.0;
    CFRunLoopRunInMode("NSModalPanelRunLoopMode", 5.0, false);
    EXPECT_TRUE(recorder.levels.empty());
    EXPECT_EQ(sim.simLightSensor().eventCopies, 1);  // only the set-up read

    // Back in the default mode, the overdue tick compares with the set-up reading.
    sim.runFor(0.5);
    ASSERT_EQ(recorder.levels.size(), 1u);
    EXPECT_NEAR(recorder.levels[0], std::log(51.0), 1e-12);
    sim.runFor(1.0);
    EXPECT_EQ(recorder.levels.size(), 1u);
}

TEST(ServiceClientSensor, MissingEventAtATickIsLoggedEachTimeAndPollingGoesOn) {
    auto& sim = machineWithReading(10.0);
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::ServiceClient);
    sim.simLightSensor().nextReadings = {std::nullopt, std::nullopt, 10.0, 20.0};
    sim.runFor(4.0);
    EXPECT_EQ(sim.logLines,
              (std::vector<std::string>{"updateTimerCallBack got a nil IOHIdEventRef",
                                        "updateTimerCallBack got a nil IOHIdEventRef"}));
    // The tick with the old reading posts nothing; the changed one posts once.
    ASSERT_EQ(recorder.levels.size(), 1u);
    EXPECT_NEAR(recorder.levels[0], std::log(21.0), 1e-12);
}

// No light known is no level (-1.0), never the darkness of 0.0: without a
// service client, or without an event at set-up, no timer is scheduled and a
// reading that comes later changes nothing.
TEST(ServiceClientSensor, WithoutAClientOrAFirstEventThereIsNoLevelForEverAndNothingIsPosted) {
    struct Case {
        bool clientPresent;
        const char* logged;
        int eventCopies;
    };
    for (const Case& c :
         {Case{false, "ALCALSCopyALSServiceClient() failed to get the client", 0},
          Case{true, "IOHIDServiceClientCopyEvent() failed to get kAmbientLightSensorEvent", 1}}) {
        SCOPED_TRACE(c.logged);
        auto& sim = SimMachine::installNew();
        sim.simLightSensor().serviceClientPresent = c.clientPresent;
        LevelRecorder recorder;
        auto sensor = newSensor(Backend::ServiceClient);
        EXPECT_EQ(sim.logLines, std::vector<std::string>{c.logged});
        sim.simLightSensor().serviceClientPresent = true;  // appearing later changes nothing
        sim.simLightSensor().reading = 500.0;
        sim.runFor(5.0);
        EXPECT_EQ(sensor->getCurrentAmbientLight(), -1.0);
        EXPECT_TRUE(recorder.levels.empty());
        EXPECT_EQ(sim.simLightSensor().eventCopies, c.eventCopies);
    }
}

TEST(ServiceClientSensor, SetUpReadsTypeTwelveEventsAndTheLevelField) {
    auto& sim = machineWithReading(3.0);
    auto sensor = newSensor(Backend::ServiceClient);
    EXPECT_EQ(sim.calls, (std::vector<std::string>{"ALCALSCopyALSServiceClient()",
                                                   "IOHIDServiceClientCopyEvent(12, 0, 0)",
                                                   "IOHIDEventGetFloatValue(0xc0000)"}));
    EXPECT_TRUE(sim.logLines.empty());
}
