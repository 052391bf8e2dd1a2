// Each monitor's brightness goes to the field its report descriptor declares:
// its report, width and logical range; the fixed two-byte payload where it
// declares nothing usable.
#include <algorithm>

#include "EngineTestSupport.h"
#include "engine/HIDInterfaceSummary.h"
#include "engine/MonitorBrightnessField.h"
#include "support/HidElements.h"

namespace engine_testing {
namespace {

using testing_support::feature;
using testing_support::inCollection;
using testing_support::inMonitorCollection;

// The last payload of `report` sent to the device, whole.
std::vector<std::uint8_t> lastPayload(const SimHIDDevice& device, CFIndex report = 16) {
    std::vector<std::uint8_t> last;
    for (const auto& r : device.sent)
        if (r.reportID == report)
            last = r.bytes;
    return last;
}

// The field's raw value in the last report 16 sent to the device.
std::uint32_t lastRaw(const SimHIDDevice& device) {
    const auto sent = lastPayload(device);
    if (sent.empty())
        return 0xFFFFFFFF;
    std::uint32_t raw = 0;
    for (std::size_t i = 0; i < sent.size(); ++i)
        raw |= static_cast<std::uint32_t>(sent[i]) << (8 * i);
    return raw;
}

class MonitorFields : public EngineTest {
  protected:
    MonitorFields() {
        displays.setAllOptionalOperationsPresent();
        displays.addBuiltinDisplay(1, 0.2);
        displays.addExternalDisplay(9);
        setAmbientLevel(3.0);
    }
    SimHIDDevice& monitor(std::int32_t product, std::vector<__IOHIDElement> elements,
                          std::vector<std::uint8_t> report, CFIndex reportID = 16) {
        auto& device = hid.addDevice(0x05ac, product);
        device.elementList = std::move(elements);
        device.featureReports[reportID] = std::move(report);
        hid.plugIn(device);
        return device;
    }
    // How often the log holds exactly this line.
    long logged(const std::string& line) const {
        return std::count(sim.logLines.begin(), sim.logLines.end(), line);
    }
};

TEST_F(MonitorFields, EachMonitorGetsItsDeclaredWidthAndRange) {
    auto& eightBit = monitor(0x9218, {feature(16, 8, 0, 255)}, {0x00});
    auto& tenBit = monitor(0x9226, {feature(16, 16, 0, 1023)}, {0x00, 0x00});
    auto& full = monitor(0x9236, {feature(16, 16, 0, 65535)}, {0x00, 0x00});
    auto& unknown = monitor(0x9219, {}, {0x00, 0x00});                      // descriptor unreadable
    auto& other = monitor(0x921C, {feature(17, 8, 0, 255)}, {0x00, 0x00});  // no report 16
    // The two of the second table that the appledisplay driver knows: as the twelve.
    auto& newTwenty = monitor(0x9222, {feature(16, 8, 0, 255)}, {0x00});
    auto& driverOnly = monitor(0x921D, {}, {0x00, 0x00});
    engine();
    // Each attach says how that monitor's brightness is sent.
    EXPECT_EQ(
        logged("USB monitor 0x9218 attached: brightness is sent as feature report 16, 8 bits, "
               "0 to 255, 1 byte"),
        1);
    EXPECT_EQ(logged("USB monitor 0x9236 attached: brightness is sent as feature report 16, 16 "
                     "bits, 0 to 65535, 2 bytes"),
              1);
    EXPECT_EQ(
        logged("USB monitor 0x921c attached: its descriptor declares no usable brightness "
               "field; brightness is sent as feature report 16, 16 bits, 0 to 65535, 2 bytes"),
        1);
    for (double external : {0.5, 1.0, 0.1}) {
        setFlatCurve(0.6, external);
        engine().updateDisplayBrightness(false);
        const auto raw = [&](double span) { return static_cast<std::uint32_t>(external * span); };
        EXPECT_EQ(lastRaw(eightBit), raw(255)) << external;
        EXPECT_EQ(payloadsSent(eightBit).back().size(), 1u);
        EXPECT_EQ(lastRaw(tenBit), raw(1023)) << external;
        EXPECT_EQ(lastRaw(full), raw(65535)) << external;
        EXPECT_EQ(lastRaw(unknown), raw(65535)) << external;
        EXPECT_EQ(lastRaw(other), raw(65535)) << external;
        EXPECT_EQ(payloadsSent(other).back().size(), 2u);
        EXPECT_EQ(lastRaw(newTwenty), raw(255)) << external;
        EXPECT_EQ(lastRaw(driverOnly), raw(65535)) << external;
    }
}

// 0.8 is 204 raw steps; a hundred summed increments from 25 fall a hair
// short of it, which truncates to 203 unless the last step is the target.
TEST_F(MonitorFields, AFadeOnAnEightBitMonitorClimbsStepByStepToTheTarget) {
    auto& eightBit = monitor(0x9218, {feature(16, 8, 0, 255)}, {25});
    setFlatCurve(0.6, 0.8);
    engine();  // the attach fades onto the curve
    auto sent = payloadsSent(eightBit);
    ASSERT_GE(sent.size(), 50u);
    for (std::size_t i = 1; i < sent.size(); ++i) {
        ASSERT_EQ(sent[i].size(), 1u);
        EXPECT_GE(sent[i][0], sent[i - 1][0]) << "step " << i;
    }
    EXPECT_LT(sent.front()[0], 40);
    EXPECT_EQ(sent.back()[0], 204);
}

TEST_F(MonitorFields, AReadGivesWhatWasWrittenWithinOneRawStep) {
    struct Case {
        __IOHIDElement field;
        std::size_t bytes;
    };
    for (const Case& c : {Case{feature(16, 8, 0, 255), 1}, Case{feature(16, 16, 0, 1023), 2},
                          Case{feature(16, 16, 0, 65535), 2}}) {
        auto& device = monitor(0x9226, {c.field}, std::vector<std::uint8_t>(c.bytes, 0));
        auto& controller = engine();
        controller.setBrightness(0.37, 9);
        const double step = 1.0 / static_cast<double>(c.field.logicalMax);
        EXPECT_NEAR(controller.getBrightness(9), 0.37, step) << c.field.logicalMax;
        // An answer out of the declared range is no reading.
        device.featureReports[16] = {0xFF, 0xFF};
        if (c.field.logicalMax == 1023) {
            EXPECT_EQ(controller.getBrightness(9), 0.0);
        }
        hid.plugOut(device);
        sim.runFor(0.01);
    }
}

TEST_F(MonitorFields, NewerDisplaysAreDrivenInReportOneOfTheirMonitorCollection) {
    // As the Studio Display and the Pro Display XDR declare it: brightness
    // 32 bits from 400, then a 16-bit duration (Physical Interface page).
    const auto display = [](CFIndex max) {
        return inMonitorCollection(
            {feature(1, 32, 400, max), feature(1, 16, 0, 20000, 0x0F, 0x50)});
    };
    auto& studio = monitor(0x1114, display(60000), std::vector<std::uint8_t>(6, 0), 1);
    auto& xdr = monitor(0x9243, display(50000), std::vector<std::uint8_t>(6, 0), 1);
    // The 2026 displays; the XDR's panel goes past what macOS calls 100 %.
    auto& studio2026 = monitor(0x1118, display(60000), std::vector<std::uint8_t>(6, 0), 1);
    auto& studioXdr = monitor(0x1116, display(160000), std::vector<std::uint8_t>(6, 0), 1);
    auto& controller = engine();
    EXPECT_EQ(controller.externalMonitors(),
              (std::unordered_set<IOHIDDeviceRef>{&studio, &xdr, &studio2026, &studioXdr}));
    EXPECT_EQ(logged("USB monitor 0x1114 attached: brightness is sent as feature report 1, 32 "
                     "bits, 400 to 60000, 6 bytes"),
              1);
    EXPECT_EQ(logged("USB monitor 0x1116 attached: brightness is sent as feature report 1, 32 "
                     "bits, 400 to 60000, 6 bytes"),
              1);
    const auto payload = [](std::uint32_t raw) {
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(raw),
                                         static_cast<std::uint8_t>(raw >> 8),
                                         static_cast<std::uint8_t>(raw >> 16),
                                         static_cast<std::uint8_t>(raw >> 24),
                                         0,
                                         0};  // duration 0: at once
    };
    for (double brightness : {0.0, 0.5, 1.0}) {
        controller.setBrightness(brightness, 9);
        const auto raw = [&](double max) {
            return 400 + static_cast<std::uint32_t>(brightness * (max - 400));
        };
        EXPECT_EQ(lastPayload(studio, 1), payload(raw(60000))) << brightness;
        EXPECT_EQ(lastPayload(xdr, 1), payload(raw(50000))) << brightness;
        EXPECT_EQ(lastPayload(studio2026, 1), payload(raw(60000))) << brightness;
        EXPECT_EQ(lastPayload(studioXdr, 1), payload(raw(60000))) << brightness;
        EXPECT_NEAR(controller.getBrightness(9), brightness, 1e-6);
    }
    EXPECT_TRUE(payloadsSent(studio).empty());  // never report 16
}

// A newer display's interface is its brightness only when the brightness
// control sits in the Monitor top-level collection; the others are left
// alone, each with a line saying what its descriptor declares.
TEST_F(MonitorFields, BrightnessOutsideAMonitorCollectionIsNotAttachedAndItsDescriptorIsShown) {
    auto& buttons =
        monitor(0x1114, inCollection(0x0C, 0x01, {feature(2, 8, 0, 255, 0x0C, 0xE9)}), {0x00}, 2);
    auto& elsewhere = monitor(0x1116, inCollection(0x20, 0x01, {feature(1, 32, 400, 60000)}),
                              std::vector<std::uint8_t>(4, 0), 1);
    auto& loose = monitor(0x1118, {feature(1, 32, 400, 60000)}, std::vector<std::uint8_t>(4, 0), 1);
    auto& odd =
        monitor(0x9243, inMonitorCollection({feature(16, 16, 0, 65535, 0xFF00, 1)}), {0, 0});
    engine();
    EXPECT_TRUE(engine().externalMonitors().empty());
    for (SimHIDDevice* d : {&buttons, &elsewhere, &loose, &odd})
        EXPECT_TRUE(d->sent.empty());
    const std::string notAttached =
        ": this HID interface declares no brightness control in a Monitor collection; not "
        "attached (the display's brightness is on another of its interfaces); it declares ";
    EXPECT_EQ(logged("USB monitor 0x1114" + notAttached +
                     "collection 0x000c/0x0001: feature report 2 (0x000c/0x00e9 8 bits 0..255)"),
              1);
    EXPECT_EQ(
        logged("USB monitor 0x1116" + notAttached +
               "collection 0x0020/0x0001: feature report 1 (0x0082/0x0010 32 bits 400..60000)"),
        1);
    EXPECT_EQ(logged("USB monitor 0x1118" + notAttached +
                     "outside any collection: feature report 1 (0x0082/0x0010 32 bits 400..60000)"),
              1);
}

// The summary stays one line however much a descriptor declares.
TEST(HIDInterfaceSummary, ListsEachCollectionsReportsAndCountsWhatItCannotList) {
    const auto summary = [](const std::vector<__IOHIDElement>& elements) {
        std::vector<IOHIDElementRef> refs;
        for (const auto& e : elements)
            refs.push_back(&e);
        return duolume::describeHIDInterface(refs);
    };
    EXPECT_EQ(summary({}), "nothing (no readable report descriptor)");
    auto pad = feature(1, 16, 0, 0, 0, 0);
    pad.constant = true;
    auto monitorControls = inMonitorCollection(
        {feature(1, 32, 400, 60000), pad, feature(1, 16, 0, 20000, 0x0F, 0x50)});
    monitorControls[3].reportCount = 2;
    auto input = feature(1, 32, 400, 60000);
    input.type = kIOHIDElementTypeInput_Misc;
    monitorControls.push_back(input);
    monitorControls.back().parentOffset = -4;
    auto elements = monitorControls;
    const auto empty = inCollection(0xFF16, 0x03, {});
    elements.insert(elements.end(), empty.begin(), empty.end());
    EXPECT_EQ(summary(elements),
              "collection 0x0080/0x0001: feature report 1 (0x0082/0x0010 32 bits 400..60000, "
              "0x000f/0x0050 16 bits x2 0..20000), input report 1 (0x0082/0x0010 32 bits "
              "400..60000); collection 0xff16/0x0003: no data fields");
    std::vector<__IOHIDElement> many;
    for (std::uint32_t i = 0; i < 20; ++i)
        many.push_back(feature(i + 1, 8, 0, 1, 0xFF00, i));
    const std::string text = summary(many);
    EXPECT_EQ(text.rfind("outside any collection: feature report 1 (0xff00/0x0000 8 bits 0..1), "
                         "feature report 2 (",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("feature report 16 (0xff00/0x000f 8 bits 0..1); and 4 more fields"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST_F(MonitorFields, FieldsThatCannotHoldABrightnessGetTheFixedPayload) {
    using duolume::kFixedBrightnessField;
    const auto fieldOf = [](std::vector<__IOHIDElement> elements) {
        std::vector<IOHIDElementRef> refs;
        for (auto& e : elements)
            refs.push_back(&e);
        return duolume::reportSixteenField(refs).value_or(kFixedBrightnessField);
    };
    EXPECT_EQ(fieldOf({feature(16, 8, 0, 300)}), kFixedBrightnessField);  // range past the width
    EXPECT_EQ(fieldOf({feature(16, 8, 10, 10)}), kFixedBrightnessField);  // empty range
    EXPECT_EQ(fieldOf({feature(16, 64, 0, 255)}), kFixedBrightnessField);
    EXPECT_EQ(fieldOf({feature(16, 8, -5, 100)}), kFixedBrightnessField);
    // A field after another: its place in the report counts.
    auto pad = feature(16, 8, 0, 0, 0, 0);
    pad.constant = true;
    auto second = fieldOf({pad, feature(16, 16, 0, 1023)});
    EXPECT_EQ(second.bitOffset, 8u);
    EXPECT_EQ(second.reportLength, 3);
    EXPECT_EQ(*duolume::payloadForBrightness(second, 1.0),
              (std::vector<std::uint8_t>{0x00, 0xFF, 0x03}));
}

}  // namespace
}  // namespace engine_testing
