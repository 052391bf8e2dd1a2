// The pane's switch on the Linux machine: setupDaemon writes the launch agent
// file under $XDG_DATA_HOME and starts the platform's own launchctl (found in
// libexec beside the program), which drives systemctl; the child is reaped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSBundle.h"
#include "Foundation/PropertyListSerialization.h"
#include "linux/LinuxMachine.h"
#include "settings/AgentInstallation.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

using namespace testing_support;

namespace {

TEST(SetupDaemonOnLinux, SwitchingOnAndOffDrivesTheUserManagerThroughLaunchctl) {
    TempDir dir;
    writeFile(dir / "bin/systemctl", "#!/bin/sh\necho \"$*\" >> \"$SYSTEMCTL_LOG\"\n");
    ::chmod((dir / "bin/systemctl").c_str(), 0755);
    const std::string pane = dir / "Duolume.prefPane";
    writeFile(pane + "/Contents/Resources/Duolume.app/Contents/MacOS/Duolume", "");
    writeFile(pane + "/Contents/Resources/org.duolume.Duolume.plist",
              platform::xmlPropertyList(
                  PlistValue::dictionary({{"Label", PlistValue::string("org.duolume.Duolume")},
                                          {"RunAtLoad", PlistValue::boolean(true)}})));
    ::mkdir((dir / "data").c_str(), 0755);
    ScopedEnv path("PATH", dir / "bin");
    ScopedEnv log("SYSTEMCTL_LOG", dir / "calls");
    ScopedEnv data("XDG_DATA_HOME", dir / "data");
    ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
    platform::linux_machine::LinuxMachine::installNew();
    auto bundle = NSBundle::bundleWithPath(pane);
    auto calls = [&] { return fileExists(dir / "calls") ? readFile(dir / "calls") : ""; };

    duolume::setupDaemon(*bundle, true);
    ASSERT_TRUE(testing_support::runLoopUntil([&] {
        return calls().find("enable") != std::string::npos;
    })) << calls();
    EXPECT_EQ(calls(), "--user daemon-reload\n--user enable --now org.duolume.Duolume.service\n");
    std::string unit = readFile(dir / "config/systemd/user/org.duolume.Duolume.service");
    EXPECT_NE(unit.find("ExecStart=\"" + pane +
                        "/Contents/Resources/Duolume.app/Contents/MacOS/Duolume\""),
              std::string::npos)
        << unit;

    duolume::setupDaemon(*bundle, false);
    ASSERT_TRUE(testing_support::runLoopUntil([&] {
        return calls().find("disable") != std::string::npos;
    })) << calls();
    auto job = dictionaryWithContentsOfFile(dir / "data/LaunchAgents/org.duolume.Duolume.plist");
    ASSERT_TRUE(job);
    EXPECT_EQ(job->at("Disabled"), PlistValue::boolean(true));

    // Both launchctl processes are reaped by the run loop: no child is left.
    EXPECT_TRUE(testing_support::runLoopUntil([] {
        siginfo_t info{};  // looks without reaping
        return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
    }));
}

}  // namespace
