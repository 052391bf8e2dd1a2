// The status line in the real pane on the Linux machine: a virtual laptop
// without and then with a light sensor, on a private session bus where the
// agent's name is not owned and then owned; and a window whose session bus
// takes no calls, which must not freeze.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>

#include "CoreFoundation/CFRunLoop.h"
#include "Session/Session.h"
#include "pane/PaneHarness.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "support/LaptopOnLinux.h"

using namespace testing_support;

namespace {

std::string statusLine(const PaneHarness& h) {
    auto* label = h.window().findChild<QLabel*>("statusLine");
    return label ? label->text().toStdString() : "(no status line)";
}

bool startsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

// Turns the run loop (the window reselected now and then, since the light
// sensor is looked at on a thread of its own) until the line starts so.
bool soonStartsWith(PaneHarness& h, const std::string& start) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int turn = 0; std::chrono::steady_clock::now() < end; ++turn) {
        if (startsWith(statusLine(h), start))
            return true;
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
        if (turn % 10 == 9)
            h.reselect();
    }
    return startsWith(statusLine(h), start);
}

void enableSynchronisation() {
    auto settings = duolume::initialSettings();
    settings[duolume::kEnabledKey] = PlistValue::boolean(true);  // the line names the agent
    duolume::writeInitialSettings(settings);
}

}  // namespace

TEST(PaneStatusLineOnLinux, FollowsTheLaptopsSensorAndTheAgentsBusName) {
    LaptopOnLinux linux;
    linux.machine.setMainThreadNeverWaits(true);  // the window's thread, as in the host
    enableSynchronisation();
    PaneHarness h(PaneHarness::OnInstalledMachine{});
    h.open();
    h.dismissNotice(true);
    EXPECT_TRUE(soonStartsWith(h,
                               "No light level: this computer has no ambient light sensor "
                               "that Linux exposes, and its time zone names no place to "
                               "estimate the light from the sun; the displays are left as "
                               "they are. The background agent is not running"))
        << statusLine(h);

    // An ordinary laptop's IIO light sensor, no Apple SMC.
    const std::string iio = linux.root / "sys/bus/iio/devices/iio:device0";
    writeFile(iio + "/name", "als\n");
    writeFile(iio + "/in_illuminance_input", "50.000000\n");
    EXPECT_TRUE(soonStartsWith(h,
                               "Light sensor: IIO iio:device0. The background agent is not "
                               "running; to see why: journalctl --user -u "
                               "org.duolume.Duolume.service"))
        << statusLine(h);

    // The agent taking its name is seen without anything being reselected.
    ASSERT_EQ(platform::claimSessionBusName(duolume::AgentBusName),
              platform::SessionNameClaim::Owned);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (statusLine(h).find("The background agent is running.") == std::string::npos &&
           std::chrono::steady_clock::now() < end)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
    EXPECT_TRUE(startsWith(statusLine(h),
                           "Light sensor: IIO iio:device0. The background agent is running. "))
        << statusLine(h);
}

// Selecting the window, refreshing its line and moving a slider (which
// stores the value and posts the change notice) while the session bus takes
// no calls: none of it waits for the bus.
TEST(PaneStatusLineOnLinux, AWindowWhoseSessionBusTakesNoCallsDoesNotFreeze) {
    LaptopOnLinux linux;
    linux.machine.setMainThreadNeverWaits(true);
    enableSynchronisation();
    linux.session->freeze(true);
    PaneHarness h(PaneHarness::OnInstalledMachine{});
    const auto start = std::chrono::steady_clock::now();
    h.open();
    h.reselect();
    h.dragSlider("internal4", 700);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    linux.session->freeze(false);
    // A bus call would have waited for its timeout (25 s by default).
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(duolume::settingsDouble(duolume::fetchSettings(), "internal4"), 0.7);
}
