// Monitors driven over DDC/CI on the simulated machine: which are asked,
// when they join the monitor set, what a fade costs them, and what never
// reaches an Apple display.
#include <algorithm>
#include <functional>
#include <set>

#include "EngineTestSupport.h"
#include "engine/DdcMonitors.h"
#include "support/SimAppleMonitor.h"

namespace engine_testing {
namespace {

using platform::sim::SimAVService;
using platform::sim::SimDdcMonitor;

class DdcMonitors : public EngineTest {
  protected:
    DdcMonitors() {
        setFlatCurve(0.6, 0.3);
        setAmbientLevel(3.0);
        displays.setAllOptionalOperationsPresent();
        displays.addBuiltinDisplay(1, 0.2);
        displays.addExternalDisplay(9);
    }
    platform::sim::SimAVServices& av() { return sim.simAVServices(); }

    // The shared engine after a sync request, with what it set off finished.
    BrightnessController& syncedEngine() {
        auto& e = engine();
        e.updateDisplayBrightness(false);
        sim.runFor(3.0);
        return e;
    }
    int logged(const std::string& part) const {
        return static_cast<int>(std::count_if(sim.logLines.begin(), sim.logLines.end(),
                                              [&](auto& l) { return l.find(part) != l.npos; }));
    }
    // The fade's values in whole numbers: each a change, the last the target.
    static void expectFewChangesEndingOn(const std::vector<std::uint16_t>& sets,
                                         std::uint16_t target, std::size_t most) {
        ASSERT_FALSE(sets.empty());
        EXPECT_LE(sets.size(), most);
        EXPECT_EQ(sets.back(), target);
        for (std::size_t i = 1; i < sets.size(); ++i)
            EXPECT_NE(sets[i], sets[i - 1]);
    }
};

TEST_F(DdcMonitors, AMonitorIsAskedAtTheFirstSyncThenFadedOntoTheCurveInFewWrites) {
    auto& monitor = av().plugInDisplay().monitor;
    monitor.current = 0;
    setFlatCurve(0.6, 1.0);
    engine();
    EXPECT_TRUE(monitor.messages.empty());  // nothing before a sync says it may drive it
    syncedEngine();
    EXPECT_EQ(logged("DDC/CI monitor \"U2720Q\" attached: brightness 0 of 100"), 1);
    // The attach's smoothed sync: 0 % to 100 % over a second.
    expectFewChangesEndingOn(monitor.sets, 100, 1);  // the target alone
    EXPECT_EQ(monitor.current, 100);
}

// A monitor that follows the light itself, or whose own buttons are used,
// changes its brightness behind the engine's back: its sensor is off while
// taken over and back on after, and a change on its buttons is noticed.
TEST_F(DdcMonitors, ItsOwnLightSensorIsOffWhileTakenOverAndItsButtonsAreNoticed) {
    auto& monitor = av().plugInDisplay().monitor;
    monitor.lightSensor = 2;
    auto& e = syncedEngine();
    e.takeOverMonitorLightSensors(true);
    sim.runFor(1.0);
    EXPECT_EQ(monitor.lightSensor, 1);
    EXPECT_FALSE(e.changesByOthers().monitors);

    monitor.current = 80;
    std::optional<double> seen;
    for (int i = 0; i < 10 && !seen; ++i, sim.runFor(1.0))
        seen = e.changesByOthers().monitors;
    ASSERT_TRUE(seen);
    EXPECT_NEAR(*seen, 0.8, 1e-9);

    bool done = false;
    e.takeOverMonitorLightSensors(false);
    e.afterMonitorExchanges([&] { done = true; });
    sim.runFor(1.0);
    EXPECT_TRUE(done);
    EXPECT_EQ(monitor.lightSensor, 2);
}

TEST_F(DdcMonitors, TheBuiltinFadeKeepsItsHundredStepsBesideASlowMonitor) {
    auto& display = av().plugInDisplay();
    display.transferSeconds = 0.1;
    display.monitor.current = 80;
    auto& e = syncedEngine();
    expectFewChangesEndingOn(display.monitor.sets, 30, 1);
    sim.sleeps.clear();
    e.setBrightnessForInternalDisplay(0.9, 0.95, true);
    EXPECT_EQ(sim.sleeps, std::vector<std::uint32_t>(100, 10000));
    sim.runFor(1.0);
    EXPECT_EQ(display.monitor.current, 95);
    for (const auto& t : display.transfers)
        EXPECT_TRUE(t.locked);
}

TEST_F(DdcMonitors, WritesGoToEveryMonitorAndReadsComeFromWhatWasLastSentOrRead) {
    auto& usb = testing_support::plugInAppleMonitor(hid);
    auto& ddc = av().plugInDisplay();
    auto& e = syncedEngine();
    EXPECT_EQ(testing_support::reportSixteen(usb), static_cast<std::uint16_t>(0.3 * 65535.0));
    EXPECT_EQ(ddc.monitor.current, 30);
    e.setBrightness(0.55, 9);
    sim.runFor(1.0);
    EXPECT_EQ(testing_support::reportSixteen(usb), static_cast<std::uint16_t>(0.55 * 65535.0));
    EXPECT_EQ(ddc.monitor.current, 55);
    // A read asks nobody on the bus while the last reading is fresh.
    const auto transfers = ddc.transfers.size();
    usb.getStatus = kIOReturnNotResponding;  // so the DDC/CI monitor gives the result
    EXPECT_DOUBLE_EQ(e.getBrightness(9), static_cast<double>(0.55f));
    sim.runFor(1.0);
    EXPECT_EQ(ddc.transfers.size(), transfers);
    // Once it is stale, the read still answers at once and asks in the background.
    ddc.monitor.current = 70;  // changed on the monitor's own buttons
    sim.runFor(duolume::DdcMonitor::kRefreshAfterSeconds);
    EXPECT_DOUBLE_EQ(e.getBrightness(9), static_cast<double>(0.55f));
    sim.runFor(1.0);
    EXPECT_DOUBLE_EQ(e.getBrightness(9), static_cast<double>(0.7f));
}

TEST_F(DdcMonitors, SteadyLightCostsNoWrites) {
    auto& monitor = av().plugInDisplay().monitor;
    auto& e = syncedEngine();
    const auto sets = monitor.sets.size();
    for (int i = 0; i < 60; ++i) {
        e.updateDisplayBrightness(true);
        sim.runFor(1.0);
    }
    EXPECT_EQ(monitor.sets.size(), sets);
}

TEST_F(DdcMonitors, AnAppleDisplayIsNeverSentAnything) {
    auto& apple = av().plugInDisplay("APP", 0x9226, "LED Cinema");
    auto& other = av().plugInDisplay();
    auto& usb = testing_support::plugInAppleMonitor(hid, 0x9226);
    auto& e = syncedEngine();
    e.setBrightnessForInternalDisplay(0.1, 0.9, true);
    sim.runFor(2.0);
    EXPECT_TRUE(apple.transfers.empty());
    EXPECT_EQ(logged("Monitor \"LED Cinema\" is an Apple display: never sent DDC/CI"), 1);
    EXPECT_EQ(testing_support::reportSixteen(usb),
              static_cast<std::uint16_t>(0.9 * 65535.0));  // its USB road
    EXPECT_EQ(other.monitor.current, 90);
    using State = duolume::DdcMonitors::State;
    const auto found = e.ddcMonitors().displays();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "\"LED Cinema\"");
    EXPECT_EQ(found[0].state, State::Apple);
    EXPECT_EQ(found[1].name, "\"U2720Q\"");
    EXPECT_EQ(found[1].state, State::Attached);
}

TEST_F(DdcMonitors, TheBuiltinPanelAndDisplaysWithoutAnEdidAreLeftAlone) {
    auto& panel = av().addDisplay("APP", 0xA045, "Color LCD");
    panel.location = "Embedded";
    panel.edid[8] = 0x10;  // not an Apple maker: the location alone decides
    av().plugIn(panel);
    auto& bare = av().addDisplay();
    bare.edid.clear();
    av().plugIn(bare);
    syncedEngine();
    EXPECT_TRUE(panel.transfers.empty());
    EXPECT_TRUE(bare.transfers.empty());
    EXPECT_EQ(logged("without a readable EDID"), 1);
}

TEST_F(DdcMonitors, ASilentMonitorIsLoggedOnceAndAskedAgainOnlyWhenPluggedInAgain) {
    for (auto behaviour :
         {SimDdcMonitor::Behaviour::Silent, SimDdcMonitor::Behaviour::BadChecksum}) {
        SCOPED_TRACE(static_cast<int>(behaviour));
        sim.logLines.clear();
        auto& display = av().plugInDisplay();
        display.monitor.behaviour = behaviour;
        auto& e = syncedEngine();
        sim.runFor(5.0);  // ten tries of its Get, then three seconds of asking again
        EXPECT_EQ(logged("does not answer DDC/CI; left alone"), 1);
        ASSERT_EQ(e.ddcMonitors().displays().size(), 1u);
        EXPECT_EQ(e.ddcMonitors().displays()[0].state, duolume::DdcMonitors::State::Silent);
        const auto transfers = display.transfers.size();
        EXPECT_GE(transfers, 3u);  // three tries
        for (int i = 0; i < 3; ++i)
            e.setBrightnessForInternalDisplay(0.5, 0.1 * i, false);
        sim.runFor(2.0);
        EXPECT_EQ(display.transfers.size(), transfers);
        EXPECT_FALSE(e.hasExternalMonitors(duolume::fetchSettings()));
        av().plugOut(display);
        sim.runFor(0.1);
        display.monitor.behaviour = SimDdcMonitor::Behaviour::Answers;
        av().plugIn(display);
        sim.runFor(3.0);
        EXPECT_EQ(display.monitor.current, 30);  // found, answered, faded onto the curve
        av().plugOut(display);
        sim.runFor(0.1);
    }
}

TEST_F(DdcMonitors, SwitchedOffTheyAreNotEvenAsked) {
    settings()[duolume::kDdcMonitorsDisabledKey] = PlistValue::boolean(true);
    auto& display = av().plugInDisplay();
    auto& e = syncedEngine();
    EXPECT_TRUE(display.transfers.empty());
    EXPECT_FALSE(e.hasExternalMonitors(duolume::fetchSettings()));
    // Switched on: the next sync request asks it, and its answer brings it onto the curve.
    settings().erase(duolume::kDdcMonitorsDisabledKey);
    e.updateDisplayBrightness(false);
    sim.runFor(3.0);
    EXPECT_EQ(display.monitor.current, 30);
    // Off again: left where it is.
    settings()[duolume::kDdcMonitorsDisabledKey] = PlistValue::boolean(true);
    setFlatCurve(0.6, 0.8);
    e.updateDisplayBrightness(false);
    sim.runFor(3.0);
    EXPECT_EQ(display.monitor.current, 30);
}

TEST_F(DdcMonitors, TheyCountAsMonitorsForTheSingleMonitorRule) {
    settings()[duolume::kSingleMonitorDisabledKey] = PlistValue::boolean(true);
    auto& display = av().plugInDisplay();
    auto& e = syncedEngine();  // this sync changes nothing, but asks the monitor
    EXPECT_TRUE(e.hasExternalMonitors(duolume::fetchSettings()));
    // Its arrival's sync request moved both displays onto the curve.
    EXPECT_EQ(display.monitor.current, 30);
    EXPECT_NEAR(displays.find(1)->brightness, 0.6, 1e-6);
}

TEST_F(DdcMonitors, HotPlugFindsAndDropsThem) {
    auto& e = syncedEngine();
    auto& display = av().plugInDisplay();
    sim.runFor(3.0);
    EXPECT_EQ(display.monitor.current, 30);
    EXPECT_TRUE(e.ddcMonitors().anyAttached());
    av().plugOut(display);
    sim.runFor(0.1);
    EXPECT_FALSE(e.ddcMonitors().anyAttached());
    const auto transfers = display.transfers.size();
    e.setBrightnessForInternalDisplay(0.5, 0.5, false);
    sim.runFor(1.0);
    EXPECT_EQ(display.transfers.size(), transfers);
}

// Monitors whose reading does not follow what they are set to, and others
// that only take their time: what each is sent, and whether its reading is
// ever taken for a person's change.
struct FollowCase {
    const char* name;
    std::function<void(SimAVService&)> setUp;
    bool writeOnly;
    const char* logged;
};

TEST_F(DdcMonitors, AMonitorWhoseReadingDoesNotFollowIsDrivenWriteOnly) {
    const FollowCase cases[] = {
        {"reads 255 of 100", [](auto& d) { d.monitor.reportsLuminance = 255; }, true,
         "reports brightness 255 of 100; driven without reading it back"},
        {"ignores Sets", [](auto& d) { d.monitor.ignoresSets = true; }, true,
         "does not show what it is set to (set to 90, it reads 50 of 100)"},
        {"busy after a Set", [](auto& d) { d.monitor.busyAfterSetSeconds = 0.15; }, false, ""},
        {"slow, 120 ms", [](auto& d) { d.monitor.replySeconds = 0.12; }, false, ""},
    };
    auto& e = syncedEngine();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.logLines.clear();
        auto& display = av().plugInDisplay();
        c.setUp(display);
        sim.runFor(6.0);
        for (double target : {0.9, 0.2, 0.7}) {
            e.setBrightnessForInternalDisplay(0.5, target, true);
            sim.runFor(5.0);
        }
        ASSERT_GE(display.monitor.sets.size(), 3u);
        EXPECT_EQ(display.monitor.sets.back(), 70);
        if (c.writeOnly)
            EXPECT_EQ(logged(c.logged), 1);
        else
            EXPECT_EQ(display.monitor.current, 70);
        // Whatever it reports from now on is nobody's change.
        display.monitor.reportsLuminance = 33;
        sim.runFor(duolume::DdcMonitor::kRefreshAfterSeconds + 1);
        e.changesByOthers();
        sim.runFor(1.0);
        EXPECT_EQ(e.changesByOthers().monitors.has_value(), !c.writeOnly);
        // And its brightness is what it was sent.
        EXPECT_NEAR(e.getBrightness(9), c.writeOnly ? 0.7 : 0.33, 1e-6);
        av().plugOut(display);
        sim.runFor(0.1);
    }
}

TEST_F(DdcMonitors, ItsLightSensorsValueIsItsSlByte) {
    auto& monitor = av().plugInDisplay().monitor;
    monitor.lightSensor = 2;
    monitor.lightSensorHigh = 0x01;  // SH filled in
    auto& e = syncedEngine();
    e.takeOverMonitorLightSensors(true);
    sim.runFor(1.0);
    EXPECT_EQ(monitor.lightSensor, 1);
}

TEST_F(DdcMonitors, AnOutputThatIsOffIsNotAskedUntilItIsLit) {
    auto& display = av().plugInDisplay();
    display.output = platform::AVOutputState::Off;
    auto& e = syncedEngine();
    sim.runFor(20.0);
    EXPECT_TRUE(display.transfers.empty());
    EXPECT_EQ(e.ddcMonitors().displays().at(0).state, duolume::DdcMonitors::State::Asleep);
    EXPECT_EQ(logged("its output is off or asleep; asked once it is lit"), 1);
    display.output = platform::AVOutputState::On;
    sim.runFor(duolume::DdcMonitor::kAsleepRecheckSeconds + 2.0);
    EXPECT_EQ(e.ddcMonitors().displays().at(0).state, duolume::DdcMonitors::State::Attached);
    EXPECT_EQ(display.monitor.current, 30);
    // Asleep again: the writer waits for it.
    display.output = platform::AVOutputState::Off;
    const auto transfers = display.transfers.size();
    e.setBrightnessForInternalDisplay(0.5, 0.9, true);
    sim.runFor(30.0);
    EXPECT_EQ(display.transfers.size(), transfers);
    display.output = platform::AVOutputState::On;
    sim.runFor(duolume::DdcMonitor::kAsleepRecheckSeconds + 2.0);
    EXPECT_EQ(display.monitor.current, 90);
}

TEST_F(DdcMonitors, APluggedInMonitorGetsASecondThenThreeSecondsOfAskingAndNothingStaysOpen) {
    auto& e = syncedEngine();
    auto& late = av().addDisplay();
    const double plugged = sim.absoluteTime();
    late.monitor.answersFrom = plugged + 3.0;  // still waking
    av().plugIn(late);
    sim.runFor(6.0);
    ASSERT_FALSE(late.transfers.empty());
    EXPECT_GE(late.transfers.front().when - plugged, 1.0);
    EXPECT_TRUE(e.ddcMonitors().anyAttached());
    // One that never answers is let go of entirely.
    auto& silent = av().addDisplay();
    silent.monitor.behaviour = SimDdcMonitor::Behaviour::Silent;
    av().plugIn(silent);
    sim.runFor(6.0);
    EXPECT_GE(silent.closes, 1);
}

}  // namespace
}  // namespace engine_testing
