// The pane's status line: what the back-ends hold, in the real label,
// refreshed at selection, when a switch changes and when a monitor or the
// agent comes or goes; never at a change of the light.
#include <gtest/gtest.h>

#include <QLabel>

#include "pane/PaneHarness.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/ProductIdentifier.h"
#include "support/SimAppleMonitor.h"

using testing_support::PaneHarness;

namespace {

std::string statusLine(const PaneHarness& h) {
    auto* label = h.window().findChild<QLabel*>("statusLine");
    return label ? label->text().toStdString() : "(no status line)";
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(PaneStatusLine, SaysThereIsNoSensorAndNoMonitorInTheUsersLanguage) {
    {
        PaneHarness h;
        h.open();
        EXPECT_EQ(statusLine(h),
                  "No light level: this computer has no ambient light sensor that Linux exposes, "
                  "and its time zone names no place to estimate the light from the sun; the "
                  "displays are left as they are. No Apple USB monitor attached.");
    }
    PaneHarness h;
    testing_support::ScopedEnv language("LANGUAGE", "fr");
    testing_support::ScopedEnv lang("LANG", "fr_FR.UTF-8");
    h.open();
    EXPECT_EQ(
        statusLine(h),
        "Aucun niveau de lumi\u00E8re : cet ordinateur n\u2019a pas de capteur de lumi\u00E8re "
        "ambiante que Linux expose, et son fuseau horaire ne nomme aucun lieu d\u2019o\u00F9 "
        "estimer la lumi\u00E8re du soleil ; les \u00E9crans restent tels quels. Aucun moniteur "
        "USB Apple branch\u00E9.");
}

TEST(PaneStatusLine, NamesTheSensorAndMonitorsAndWhetherTheAgentRunsWhileSyncIsOn) {
    PaneHarness h;
    h.sim().simLightSensor().serviceClientPresent = true;
    h.sim().simLightSensor().reading = 50.0;
    auto& monitor = testing_support::plugInAppleMonitor(h.sim().simHID(), 0x9236);
    h.open();
    h.dismissNotice(true);
    std::string line = statusLine(h);
    EXPECT_TRUE(has(line, "Light sensor: service client.")) << line;
    EXPECT_TRUE(has(line, "Apple USB monitors: 0x9236 (sim device 1).")) << line;
    EXPECT_FALSE(has(line, "agent")) << "synchronisation is off: " << line;

    h.click("mainSwitch");
    h.sim().runFor(0.0);
    line = statusLine(h);
    EXPECT_TRUE(has(line,
                    "The background agent is not running; to see why: show-job-log "
                    "org.duolume.Duolume"))
        << line;

    // The agent and the monitors are followed as they come and go...
    h.sim().simSession().setNameHeldElsewhere(duolume::AgentBusName, true);
    h.sim().simHID().plugOut(monitor);
    h.sim().runFor(0.0);
    line = statusLine(h);
    EXPECT_TRUE(has(line, "The background agent is running.")) << line;
    EXPECT_TRUE(has(line, "No Apple USB monitor attached.")) << line;

    // ... and a change of the light asks nothing again.
    h.sim().simSession().automaticBrightness = platform::DesktopAutomaticBrightness::On;
    const auto calls = h.sim().calls.size();
    NSNotificationCenter::defaultCenter().postNotificationName(AmbientLightChangedNotification,
                                                               PlistValue::real(3.0));
    EXPECT_EQ(statusLine(h), line);
    EXPECT_EQ(h.sim().calls.size(), calls);
    h.reselect();
    EXPECT_TRUE(has(statusLine(h), "The desktop's automatic brightness is on: Duolume leaves"))
        << line;
}

// A monitor that cannot be used says why, and the machine's fix in the
// window's language (for one that may not be opened, the program's rule). A
// Studio Display's interface without brightness comes first; the node that
// cannot be used is what the user must hear about.
TEST(PaneStatusLine, AMonitorThatCannotBeUsedSaysWhyAndWhatToDo) {
    struct Case {
        platform::FindingReason access;
        const char* says;
    };
    for (const Case& c :
         {Case{platform::FindingReason::PermissionDenied,
               "(permission denied): ajoutez la règle 70-duolume.rules."},
          Case{platform::FindingReason::NoDeviceNode,
               "An Apple USB monitor is attached but cannot be used: no device node."}}) {
        PaneHarness h;
        h.sim().simHID().plugIn(h.sim().simHID().addDevice(0x05ac, 0x1114));
        testing_support::plugInAppleMonitor(h.sim().simHID()).accessFinding = c.access;
        h.sim().simTexts().inPersonsLanguage["add the access rule %1 and plug it in again"] =
            "ajoutez la règle %1";
        h.open();
        EXPECT_TRUE(has(statusLine(h), c.says)) << statusLine(h);
    }
}

// Other monitors are named as they come and go, and never asked anything
// from the window (the agent drives them).
TEST(PaneStatusLine, OtherMonitorsAreNamedWithoutBeingAsked) {
    PaneHarness h;
    h.open();
    EXPECT_FALSE(has(statusLine(h), "DDC/CI")) << statusLine(h);
    auto& ddc = h.sim().simAVServices().plugInDisplay();
    h.sim().simAVServices().plugInDisplay("APP", 0x9226, "LED Cinema");
    h.sim().runFor(0.0);
    EXPECT_TRUE(has(statusLine(h), "Other monitors (DDC/CI): \"U2720Q\".")) << statusLine(h);
    EXPECT_TRUE(ddc.transfers.empty());
    h.click("ddcMonitorsSwitch");
    EXPECT_TRUE(has(statusLine(h), "Other monitors (DDC/CI), switched off: \"U2720Q\"."))
        << statusLine(h);
}
