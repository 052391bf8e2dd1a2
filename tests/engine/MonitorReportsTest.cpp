// Report 16 with the two-byte brightness, to and from every attached monitor.
#include <cmath>

#include "EngineTestSupport.h"
#include "engine/MonitorBrightnessField.h"
#include "support/SimAppleMonitor.h"

namespace engine_testing {
namespace {

using Payload = std::vector<std::uint8_t>;

// The payload of a monitor without a usable descriptor: report 16, two bytes.
Payload payloadFor(double brightness) {
    return duolume::payloadForBrightness(duolume::kFixedBrightnessField, brightness)
        .value_or(Payload{});
}

float brightnessFor(const Payload& payload) {
    return duolume::brightnessForPayload(duolume::kFixedBrightnessField, payload.data(),
                                         static_cast<long>(payload.size()))
        .value_or(-1.0f);
}

TEST(MonitorPayload, WriteTruncatesTowardZero) {
    EXPECT_EQ(payloadFor(1.0), (Payload{0xFF, 0xFF}));
    EXPECT_EQ(payloadFor(0.0), (Payload{0x00, 0x00}));
    EXPECT_EQ(payloadFor(0.5), (Payload{0xFF, 0x7F}));
    EXPECT_EQ(payloadFor(0.1), (Payload{0x99, 0x19}));
}

TEST(MonitorPayload, ValuesJustOutsideTheRangeGiveTheEnds) {
    EXPECT_EQ(payloadFor(-0.9 / 65535.0), (Payload{0x00, 0x00}));
    EXPECT_EQ(payloadFor(-1e-12), (Payload{0x00, 0x00}));
    EXPECT_EQ(payloadFor(1.0 + 1e-12), (Payload{0xFF, 0xFF}));
    EXPECT_EQ(payloadFor(65535.9 / 65535.0), (Payload{0xFF, 0xFF}));
}

TEST(MonitorPayload, ValuesFarOutsideTheRangeStopAtTheEndsInsteadOfWrapping) {
    EXPECT_EQ(payloadFor(1.5), (Payload{0xFF, 0xFF}));
    EXPECT_EQ(payloadFor(-0.5), (Payload{0x00, 0x00}));
    EXPECT_EQ(payloadFor(1e300), (Payload{0xFF, 0xFF}));
    EXPECT_EQ(payloadFor(std::nan("")), Payload{});
}

TEST(MonitorPayload, ReadPassesThroughSinglePrecision) {
    EXPECT_EQ(brightnessFor({0xFF, 0xFF}), 1.0f);
    EXPECT_EQ(static_cast<double>(brightnessFor({0xFF, 0x7F})), 0.49999237060546875);
}

class MonitorReports : public EngineTest {
  protected:
    BrightnessController& controller() { return *BrightnessController::sharedInstance(); }
    static constexpr CGDirectDisplayID kExternal = 7;
};

TEST_F(MonitorReports, EveryMonitorReceivesTheSamePayloadForAnyExternalDisplay) {
    auto& a = testing_support::plugInAppleMonitor(hid, 0x9226);
    auto& b = testing_support::plugInAppleMonitor(hid, 0x9232);
    engine();
    a.sent.clear();
    b.sent.clear();
    controller().setBrightness(0.25, kExternal);
    controller().setBrightness(0.25, 12345);  // not an active display at all
    const std::vector<Payload> expected{{0xFF, 0x3F}, {0xFF, 0x3F}};
    EXPECT_EQ(payloadsSent(a), expected);
    EXPECT_EQ(payloadsSent(b), expected);
    EXPECT_EQ(testing_support::reportSixteen(a), 0x3FFF);
}

TEST_F(MonitorReports, ReadAsksEveryMonitorAndTheLastAnswerCounts) {
    auto& a = testing_support::plugInAppleMonitor(hid, 0x9226, 0xFFFF);
    auto& b = testing_support::plugInAppleMonitor(hid, 0x9227, 0x7FFF);
    engine();
    markCalls();
    const double read = controller().getBrightness(kExternal);
    EXPECT_EQ(countCallsSinceMark("IOHIDDeviceGetReport("), 2);
    IOHIDDeviceRef last = nullptr;
    for (auto* device : controller().externalMonitors())
        last = device;
    EXPECT_EQ(read, last == &a ? 1.0 : 0.49999237060546875);
    (void)b;
}

TEST_F(MonitorReports, AMonitorWhoseReadFailsContributesNothing) {
    auto& good = testing_support::plugInAppleMonitor(hid, 0x9226, 0x7FFF);
    auto& failing = testing_support::plugInAppleMonitor(hid, 0x9227, 0xFFFF);
    failing.getStatus = kIOReturnNotResponding;
    engine();
    EXPECT_EQ(controller().getBrightness(kExternal), 0.49999237060546875);
    good.getStatus = kIOReturnNotResponding;
    EXPECT_EQ(controller().getBrightness(kExternal), 0.0);
}

TEST_F(MonitorReports, AFailedWriteDoesNotStopTheOthers) {
    auto& first = testing_support::plugInAppleMonitor(hid, 0x9226, 0x1000);
    auto& second = testing_support::plugInAppleMonitor(hid, 0x9227, 0x1000);
    engine();
    const auto logLines = sim.logLines.size();
    // Each monitor fails in one round, so whatever order the set walks in,
    // the failing one comes before the good one once.
    for (auto [failing, good, brightness, raw] :
         {std::tuple{&first, &second, 1.0, 0xFFFF}, std::tuple{&second, &first, 0.0, 0x0000}}) {
        const auto before = testing_support::reportSixteen(*failing);
        failing->setStatus = kIOReturnNotResponding;
        good->setStatus = kIOReturnSuccess;
        controller().setBrightness(brightness, kExternal);
        EXPECT_EQ(testing_support::reportSixteen(*failing), before);
        EXPECT_EQ(testing_support::reportSixteen(*good), raw);
    }
    EXPECT_EQ(sim.logLines.size(), logLines);
}

TEST_F(MonitorReports, WithoutMonitorsReadsGiveZeroAndWritesSendNothing) {
    displays.addExternalDisplay(kExternal);
    engine();
    markCalls();
    EXPECT_EQ(controller().getBrightness(kExternal), 0.0);
    controller().setBrightness(0.8, kExternal);
    EXPECT_EQ(callsSinceMark(),
              (std::vector<std::string>{"CGDisplayIsBuiltin(7)", "CGDisplayIsBuiltin(7)"}));
    EXPECT_EQ(displays.find(kExternal)->brightness, 0.5);
}

}  // namespace
}  // namespace engine_testing
