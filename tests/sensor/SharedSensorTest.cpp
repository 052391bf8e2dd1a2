// The shared sensor and the rules of `init`, for both back-ends.
#include "Foundation/NSException.h"
#include "SensorTestSupport.h"
#include "sensor/ServiceClientAmbientLightSensor.h"

using platform::sim::SimMachine;
using Backend = AmbientLightSensor::Backend;

namespace {

const char* const kSecondInstanceReason =
    "[AmbientLightSensor init] cannot be called; use +[AmbientLightSensor sharedInstance] instead";

class SharedSensor : public testing::TestWithParam<Backend> {};

}  // namespace

TEST(SharedSensorTest, SharedInstanceIsCreatedOnceAndUsesTheChosenBackend) {
    auto& sim = SimMachine::installNew();
    auto* first = AmbientLightSensor::sharedInstance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(AmbientLightSensor::sharedInstance(), first);
    // A machine without any sensor: the run-time choice is the service client.
    EXPECT_EQ(sim.logLines.size(), 1u);  // set-up ran once, and failed: no sensor
    // Either back-end: no light known is no level, never darkness.
    EXPECT_EQ(first->getCurrentAmbientLight(), -1.0);
}

TEST_P(SharedSensor, SecondInitRaisesAndTheSharedSensorStays) {
    auto& sim = SimMachine::installNew();
    sim.simLightSensor().serviceClientPresent = true;
    sim.simLightSensor().reading = 2.0;
    sim.simLightSensor().controllerPresent = true;
    auto* shared = AmbientLightSensor::sharedInstance();
    const auto callsBefore = sim.calls.size();
    auto second = AmbientLightSensor::alloc(GetParam());
    try {
        second->init();
        ADD_FAILURE() << "init succeeded after the shared sensor existed";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
        EXPECT_EQ(e.reason(), kSecondInstanceReason);
    }
    EXPECT_EQ(sim.calls.size(), callsBefore);  // no set-up ran
    EXPECT_EQ(AmbientLightSensor::sharedInstance(), shared);
}

TEST_P(SharedSensor, SensorInitialisedBeforeTheSharedOneIsASecondSensor) {
    auto& sim = SimMachine::installNew();
    auto direct = AmbientLightSensor::alloc(GetParam());
    EXPECT_EQ(direct->init(), direct.get());
    auto* shared = AmbientLightSensor::sharedInstance();
    EXPECT_NE(shared, direct.get());
    EXPECT_EQ(sim.logLines.size(), 2u);  // each ran its own set-up
}

INSTANTIATE_TEST_SUITE_P(BothBackends, SharedSensor,
                         testing::Values(Backend::ServiceClient, Backend::Controller),
                         [](const auto& info) {
                             return info.param == Backend::Controller ? "Controller"
                                                                      : "ServiceClient";
                         });

TEST(SharedSensorTest, FailedBaseInitialisationRaisesWithoutSettingUp) {
    auto& sim = SimMachine::installNew();
    sim.rootObjectInitialisation = false;
    auto sensor = AmbientLightSensor::alloc(Backend::ServiceClient);
    try {
        sensor->init();
        FAIL() << "init succeeded";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), "AmbientLightSensorInitFailed");
        EXPECT_EQ(e.reason(), "Failed to init AmbientLightSensor shared instance");
    }
    EXPECT_TRUE(sim.calls.empty());
}

#if !defined(DUOLUME_ALS_BACKEND_CONTROLLER) && !defined(DUOLUME_ALS_BACKEND_SERVICE_CLIENT)
// Without a forced back-end the machine's sensor decides, so the formula
// always matches the sensor that is read.
TEST(SharedSensorTest, RunTimeChoiceFollowsTheSensorTheMachineHas) {
    auto& sim = SimMachine::installNew();
    sim.simLightSensor().serviceClientPresent = true;
    sim.simLightSensor().reading = 100.0;
    auto choice = AmbientLightSensor::chooseBackend();
    EXPECT_EQ(choice.backend, Backend::ServiceClient);
    EXPECT_EQ(choice.reason, "no AppleLMUController pair (Apple SMC) on this machine");

    sim.simLightSensor().controllerPresent = true;  // an Intel Mac: it has both
    sim.simLightSensor().outputs[0] = sim.simLightSensor().outputs[1] = 1000;
    choice = AmbientLightSensor::chooseBackend();
    EXPECT_EQ(choice.backend, Backend::Controller);
    EXPECT_EQ(choice.reason, "the AppleLMUController pair (Apple SMC) is present");
    EXPECT_EQ(AmbientLightSensor::sharedBackendChoice().backend, Backend::Controller);
    EXPECT_NEAR(AmbientLightSensor::sharedInstance()->getCurrentAmbientLight(), 1.512, 1e-3);
}
#endif
