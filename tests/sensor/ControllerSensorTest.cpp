// The controller back-end on the simulated machine.
#include <cmath>

#include "SensorTestSupport.h"

using platform::sim::SimMachine;
using Backend = AmbientLightSensor::Backend;

namespace {

SimMachine& machineWithController(std::uint64_t left, std::uint64_t right) {
    auto& sim = SimMachine::installNew();
    auto& ls = sim.simLightSensor();
    ls.controllerPresent = true;
    ls.outputs[0] = left;
    ls.outputs[1] = right;
    return sim;
}

double levelForOutputs(std::uint64_t left, std::uint64_t right) {
    machineWithController(left, right);
    return newSensor(Backend::Controller)->getCurrentAmbientLight();
}

const std::string kNotFound =
    "IOServiceGetMatchingService() failed to get I/O service \"AppleLMUController\"";
const std::string kOpenFailed = "IOServiceOpen() failed to open I/O service \"AppleLMUController\"";

}  // namespace

TEST(ControllerSensor, LevelIsAPowerLawOfTheAverageCappedAtTen) {
    EXPECT_EQ(levelForOutputs(0, 0), 0.0);
    EXPECT_NEAR(levelForOutputs(1000, 1000), 1.5122, 1e-4);
    EXPECT_NEAR(levelForOutputs(1000, 1000), std::pow(1001.0, 0.13333333333333333) - 1.0, 1e-15);
    // Level 1 at an average of 2^7.5 - 1; the two values are averaged.
    EXPECT_NEAR(levelForOutputs(0, std::uint64_t{2} * 180), std::pow(181.0, 2.0 / 15.0) - 1.0,
                1e-15);
    EXPECT_NEAR(levelForOutputs(180, 181), 1.0, 1e-3);
    EXPECT_EQ(levelForOutputs(64631634, 64631634), 10.0);
    EXPECT_LT(levelForOutputs(64000000, 64000000), 10.0);
    EXPECT_EQ(levelForOutputs(0xFFFFFFFE, 0xFFFFFFFE), 10.0);
}

TEST(ControllerSensor, FailureMarkers) {
    auto& sim = machineWithController(500, 500);
    auto sensor = newSensor(Backend::Controller);
    sim.simLightSensor().scalarStatus = kIOReturnNotResponding;
    EXPECT_EQ(sensor->getCurrentAmbientLight(), -1.0);
    sim.simLightSensor().scalarStatus = kIOReturnSuccess;
    sim.simLightSensor().outputs[0] = 0xFFFFFFFF;
    EXPECT_EQ(sensor->getCurrentAmbientLight(), -2.0);
    sim.simLightSensor().outputs[1] = 0;
    EXPECT_EQ(sensor->getCurrentAmbientLight(), -2.0);
    // Only the first value marks a failure.
    sim.simLightSensor().outputs[0] = 0;
    sim.simLightSensor().outputs[1] = 0xFFFFFFFF;
    EXPECT_GT(sensor->getCurrentAmbientLight(), 0.0);
    EXPECT_TRUE(sim.logLines.empty());
}

TEST(ControllerSensor, EveryLevelRequestCallsTheDriverAfresh) {
    auto& sim = machineWithController(0, 0);
    auto sensor = newSensor(Backend::Controller);
    EXPECT_EQ(sensor->getCurrentAmbientLight(), 0.0);
    sim.simLightSensor().outputs[0] = sim.simLightSensor().outputs[1] = 1000;
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), 1.512, 1e-3);
    EXPECT_EQ(sim.simLightSensor().scalarCalls, 2);
}

TEST(ControllerSensor, SetUpTalksToTheControllerAndReleasesTheService) {
    auto& sim = machineWithController(0, 0);
    auto sensor = newSensor(Backend::Controller);
    EXPECT_TRUE(sim.logLines.empty());
    EXPECT_EQ(sim.calls, (std::vector<std::string>{
                             "IOServiceMatching(AppleLMUController)",
                             "IOServiceGetMatchingService(1, AppleLMUController)",
                             "IOServiceOpen(9219, 259, 0)",
                             "IONotificationPortCreate(1)",
                             "IOServiceAddInterestNotification(9219, IOGeneralInterest)",
                             "IONotificationPortGetRunLoopSource()",
                             "IOObjectRelease(9219)",
                         }));
    sensor->getCurrentAmbientLight();
    EXPECT_EQ(sim.calls.back(), "IOConnectCallScalarMethod(28935, 0, 0, 2)");
}

TEST(ControllerSensor, EveryInterestMessageAnnouncesTheCurrentLevel) {
    auto& sim = machineWithController(1000, 1000);
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::Controller);
    EXPECT_TRUE(recorder.levels.empty());
    sim.simLightSensor().deliverInterestMessage();
    EXPECT_TRUE(recorder.levels.empty());  // only when the run loop turns
    sim.runFor(0.1);
    ASSERT_EQ(recorder.levels.size(), 1u);
    EXPECT_NEAR(recorder.levels[0], 1.512, 1e-3);

    // No comparison with the earlier level; failure markers are posted as they are.
    sim.simLightSensor().deliverInterestMessage(0x1234);
    sim.runFor(0.1);
    sim.simLightSensor().outputs[0] = 0xFFFFFFFF;
    sim.simLightSensor().deliverInterestMessage();
    sim.runFor(0.1);
    sim.simLightSensor().scalarStatus = kIOReturnError;
    sim.simLightSensor().deliverInterestMessage();
    sim.runFor(0.1);
    ASSERT_EQ(recorder.levels.size(), 4u);
    EXPECT_EQ(recorder.levels[1], recorder.levels[0]);
    EXPECT_EQ(recorder.levels[2], -2.0);
    EXPECT_EQ(recorder.levels[3], -1.0);
}

TEST(ControllerSensor, MessagesWaitWhileTheRunLoopIsInAnotherMode) {
    auto& sim = machineWithController(0, 0);
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::Controller);
    sim.simLightSensor().deliverInterestMessage();
    CFRunLoopRunInMode("NSEventTrackingRunLoopMode", 2.0, false);
    EXPECT_TRUE(recorder.levels.empty());
    // Read when handled, not when sent.
    sim.simLightSensor().outputs[0] = sim.simLightSensor().outputs[1] = 1000;
    sim.runFor(0.1);
    ASSERT_EQ(recorder.levels.size(), 1u);
    EXPECT_NEAR(recorder.levels[0], 1.512, 1e-3);
}

TEST(ControllerSensor, MissingServiceGivesMinusOneForEver) {
    auto& sim = SimMachine::installNew();
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::Controller);
    EXPECT_EQ(sim.logLines, (std::vector<std::string>{kNotFound}));
    EXPECT_EQ(sim.calls.back(), "IOServiceGetMatchingService(1, AppleLMUController)");
    sim.simLightSensor().controllerPresent = true;
    sim.simLightSensor().deliverInterestMessage();
    sim.runFor(2.0);
    EXPECT_EQ(sensor->getCurrentAmbientLight(), -1.0);
    EXPECT_TRUE(recorder.levels.empty());
}

TEST(ControllerSensor, FailedOrHandlelessOpenGivesMinusOneAndReleasesTheService) {
    for (bool handleless : {false, true}) {
        auto& sim = machineWithController(1000, 1000);
        if (handleless)
            sim.simLightSensor().openedConnection = 0;
        else
            sim.simLightSensor().openStatus = kIOReturnNotPrivileged;
        LevelRecorder recorder;
        auto sensor = newSensor(Backend::Controller);
        EXPECT_EQ(sim.logLines, (std::vector<std::string>{kOpenFailed}));
        EXPECT_EQ(sim.calls.back(), "IOObjectRelease(9219)");
        EXPECT_EQ(sim.simLightSensor().interestRegistrations(), 0u);
        EXPECT_EQ(sensor->getCurrentAmbientLight(), -1.0);
    }
}

// Change notices that cannot be set up: levels are still read, but nothing is posted.
struct NoNotices {
    const char* name;
    void (*breakNotices)(platform::sim::SimLightSensor&);
    const char* logged;
};

class ControllerWithoutNotices : public ::testing::TestWithParam<NoNotices> {};

TEST_P(ControllerWithoutNotices, LevelsAreReadButNothingIsPosted) {
    auto& sim = machineWithController(1000, 1000);
    GetParam().breakNotices(sim.simLightSensor());
    LevelRecorder recorder;
    auto sensor = newSensor(Backend::Controller);
    EXPECT_EQ(sim.logLines, (std::vector<std::string>{GetParam().logged}));
    EXPECT_EQ(sim.calls.back(), "IOObjectRelease(9219)");
    sim.simLightSensor().deliverInterestMessage();
    sim.runFor(1.0);
    EXPECT_TRUE(recorder.levels.empty());
    EXPECT_NEAR(sensor->getCurrentAmbientLight(), 1.512, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(
    ControllerSensor, ControllerWithoutNotices,
    ::testing::Values(
        NoNotices{"WithoutANotificationPort",
                  [](platform::sim::SimLightSensor& s) { s.notificationPortAvailable = false; },
                  "IONotificationPortCreate() failed to create I/O notification port"},
        NoNotices{"FailedRegistration",
                  [](platform::sim::SimLightSensor& s) { s.interestStatus = kIOReturnNoResources; },
                  "IOServiceAddInterestNotification() failed to add I/O service notification"}),
    [](const auto& info) { return std::string(info.param.name); });
