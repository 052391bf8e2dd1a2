// The status line's findings on the Linux machine: a virtual laptop with and
// without a light sensor, on a private session bus with and without the agent.
#include <gtest/gtest.h>

#include "Session/Session.h"
#include "linux/LinuxMachine.h"
#include "pane/PaneHarness.h"
#include "pane/PaneStatusLine.h"
#include "settings/ProductIdentifier.h"
#include "support/PrivateBus.h"
#include "support/VirtualLaptop.h"

using namespace testing_support;

TEST(PaneStatusLineOnLinux, FollowsTheLaptopsSensorAndTheAgentsBusName) {
    TempDir root;
    ScopedEnv sysroot("PLATFORM_SYSROOT", root.path());
    ScopedEnv noSystemBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root / "no-system-bus"));
    PrivateBus bus;
    VirtualLaptop laptop(root.path());
    platform::linux_machine::LinuxMachine::installNew();
    auto bundle = NSBundle::bundleWithPath(builtBundlePath());
    ASSERT_TRUE(bundle);

    std::string line = duolume::paneStatusLine(*bundle, true);
    EXPECT_EQ(line.rfind("No light sensor found: ", 0), 0u) << line;
    EXPECT_NE(line.find("The background agent is not running"), std::string::npos) << line;

    laptop.setAmbientLight(100, 50.0);
    ASSERT_EQ(platform::claimSessionBusName(duolume::AgentBusName),
              platform::SessionNameClaim::Owned);
    line = duolume::paneStatusLine(*bundle, true);
    EXPECT_EQ(line.rfind("Light sensor: IIO iio:device0. The background agent is running. ", 0), 0u)
        << line;
}
