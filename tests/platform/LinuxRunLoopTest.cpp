// The run loop on GLib's main context, and distributed notifications on a
// private session bus, on the Linux machine.
#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSDistributedNotificationCenter.h"
#include "linux/LinuxMachine.h"
#include "support/PrivateBus.h"

using platform::linux_machine::LinuxMachine;

TEST(LinuxRunLoop, TimerFiresOnTimeAndStopEndsTheRun) {
    LinuxMachine::installNew();
    const double start = CFAbsoluteTimeGetCurrent();
    std::vector<double> fired;
    auto timer = CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, start + 0.05, 0.05, 0, 0, [&](CFRunLoopTimerRef) {
            fired.push_back(CFAbsoluteTimeGetCurrent() - start);
            if (fired.size() == 3)
                CFRunLoopStop(CFRunLoopGetCurrent());
        });
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 5.0, false), kCFRunLoopRunStopped);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_GE(fired[0], 0.049);
    EXPECT_GE(fired[2], 0.149);
}

TEST(LinuxRunLoop, RunInModeTimesOutAndOtherModesDoNotFireDefaultTimers) {
    LinuxMachine::installNew();
    int fired = 0;
    auto timer = CFRunLoopTimerCreateWithHandler(kCFAllocatorDefault, CFAbsoluteTimeGetCurrent(), 0,
                                                 0, 0, [&](CFRunLoopTimerRef) { ++fired; });
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
    EXPECT_EQ(CFRunLoopRunInMode("OtherMode", 0.05, false), kCFRunLoopRunTimedOut);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(fired, 1);
}

TEST(LinuxRunLoop, TimersFireWhenAPlainGLibLoopTurnsTheContext) {
    // Qt's event loop turns GLib's default context the same way.
    LinuxMachine::installNew();
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    bool fired = false;
    auto timer = CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + 0.02, 0, 0, 0, [&](CFRunLoopTimerRef) {
            fired = true;
            g_main_loop_quit(loop);
        });
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
    g_timeout_add(
        2000,
        [](gpointer l) {
            g_main_loop_quit(static_cast<GMainLoop*>(l));
            return G_SOURCE_REMOVE;
        },
        loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    EXPECT_TRUE(fired);
}

TEST(LinuxDistributedNotifications, ObserverInAnotherConnectionReceivesThePost) {
    testing_support::PrivateBus bus;
    LinuxMachine::installNew();
    std::vector<std::string> received;
    auto& center = NSDistributedNotificationCenter::defaultCenter();
    center.addObserver(
        [&](const std::string& name, const std::optional<std::string>& object) {
            received.push_back(name + (object ? " " + *object : ""));
            CFRunLoopStop(CFRunLoopGetCurrent());
        },
        "org.example.changed");
    center.postNotificationName("org.example.other");
    center.postNotificationName("org.example.changed", "builtin");
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 2.0, false);
    EXPECT_EQ(received, std::vector<std::string>{"org.example.changed builtin"});
}

TEST(LinuxDistributedNotifications, PostingWithoutABusLogsAndGoesOn) {
    testing_support::ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    auto& machine = LinuxMachine::installNew();
    std::vector<std::string> log;
    machine.logObserver = [&](const std::string& l) { log.push_back(l); };
    EXPECT_NO_THROW(NSDistributedNotificationCenter::defaultCenter().postNotificationName(
        "org.example.changed"));
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("not posted"), std::string::npos);
}
