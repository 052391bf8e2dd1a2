// The status line in the real pane on the Linux machine: a virtual laptop
// without and then with a light sensor, on a private session bus where the
// agent's name is not owned and then owned.
#include <gtest/gtest.h>

#include <QLabel>

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

}  // namespace

TEST(PaneStatusLineOnLinux, FollowsTheLaptopsSensorAndTheAgentsBusName) {
    LaptopOnLinux linux;
    linux.machine.setMainThreadNeverWaits(true);  // the window's thread, as in the host
    auto settings = duolume::initialSettings();
    settings[duolume::kEnabledKey] = PlistValue::boolean(true);  // the line names the agent
    duolume::writeInitialSettings(settings);
    PaneHarness h(PaneHarness::OnInstalledMachine{});
    h.open();
    h.dismissNotice(true);
    std::string line = statusLine(h);
    EXPECT_TRUE(startsWith(line, "No light sensor found: this computer has no ambient light "
                                 "sensor that Linux exposes. The background agent is not running"))
        << line;

    // An ordinary laptop's IIO light sensor, no Apple SMC.
    const std::string iio = linux.root / "sys/bus/iio/devices/iio:device0";
    writeFile(iio + "/name", "als\n");
    writeFile(iio + "/in_illuminance_input", "50.000000\n");
    h.reselect();
    line = statusLine(h);
    EXPECT_TRUE(startsWith(line, "Light sensor: IIO iio:device0. The background agent is not "
                                 "running; to see why: journalctl --user -u "
                                 "org.duolume.Duolume.service"))
        << line;

    ASSERT_EQ(platform::claimSessionBusName(duolume::AgentBusName),
              platform::SessionNameClaim::Owned);
    h.reselect();
    line = statusLine(h);
    EXPECT_TRUE(startsWith(line, "Light sensor: IIO iio:device0. The background agent is running. "))
        << line;
}
