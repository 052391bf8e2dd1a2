// The pane's status line: what it found, in the real label, refreshed at
// selection and when the light changes.
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
                  "No light sensor found: this computer has no ambient light sensor that Linux "
                  "exposes. No Apple USB monitor attached.");
    }
    PaneHarness h;
    testing_support::ScopedEnv language("LANGUAGE", "fr");
    testing_support::ScopedEnv lang("LANG", "fr_FR.UTF-8");
    h.open();
    EXPECT_EQ(
        statusLine(h),
        "Aucun capteur de lumi\u00E8re trouv\u00E9 : cet ordinateur n\u2019a pas de capteur de "
        "lumi\u00E8re ambiante que Linux expose. Aucun moniteur USB Apple branch\u00E9.");
}

TEST(PaneStatusLine, NamesTheSensorAndMonitorsAndWhetherTheAgentRunsWhileSyncIsOn) {
    PaneHarness h;
    h.sim().simLightSensor().serviceClientPresent = true;
    h.sim().simLightSensor().reading = 50.0;
    testing_support::plugInAppleMonitor(h.sim().simHID(), 0x9236);
    h.open();
    h.dismissNotice(true);
    std::string line = statusLine(h);
    EXPECT_TRUE(has(line, "Light sensor: service client.")) << line;
    EXPECT_TRUE(has(line, "Apple USB monitors: ")) << line;
    EXPECT_FALSE(has(line, "agent")) << "synchronisation is off: " << line;

    h.click("mainSwitch");
    h.reselect();
    line = statusLine(h);
    EXPECT_TRUE(has(line,
                    "The background agent is not running; to see why: journalctl --user -u "
                    "org.duolume.Duolume.service"))
        << line;

    h.sim().simSession().namesOwnedElsewhere.insert(duolume::AgentBusName);
    h.sim().simHID().managerCreationFails = true;
    h.sim().simSession().automaticBrightness = platform::DesktopAutomaticBrightness::On;
    NSNotificationCenter::defaultCenter().postNotificationName(AmbientLightChangedNotification,
                                                               PlistValue::real(3.0));
    line = statusLine(h);
    EXPECT_TRUE(has(line, "The background agent is running.")) << line;
    EXPECT_TRUE(has(line,
                    "An Apple USB monitor is attached but cannot be used: product 0x9236, "
                    "the HID manager cannot be opened."))
        << line;
    EXPECT_TRUE(has(line, "GNOME's automatic screen brightness is on too")) << line;
}

TEST(PaneStatusLine, AMonitorThatMayNotBeOpenedPointsToTheUdevRule) {
    PaneHarness h;
    // A Studio Display's interface without brightness comes first; the
    // node that may not be opened is what the user must hear about.
    h.sim().simHID().plugIn(h.sim().simHID().addDevice(0x05ac, 0x1114));
    testing_support::plugInAppleMonitor(h.sim().simHID());
    h.sim().simHID().openStatus = kIOReturnNotPrivileged;
    h.open();
    EXPECT_TRUE(has(statusLine(h), "(permission denied): install the udev rule 70-duolume.rules"))
        << statusLine(h);
}
