// The session services of the Linux machine on private D-Bus buses: the
// agent's name, logind's resume signal and termination signals.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <functional>

#include "CoreFoundation/CFRunLoop.h"
#include "Session/Session.h"
#include "linux/LinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/Waiting.h"

using platform::SessionNameClaim;
using namespace testing_support;

namespace {

void emitPrepareForSleep(GDBusConnection* c, bool start) {
    g_dbus_connection_emit_signal(c, nullptr, "/org/freedesktop/login1",
                                  "org.freedesktop.login1.Manager", "PrepareForSleep",
                                  g_variant_new("(b)", start), nullptr);
    g_dbus_connection_flush_sync(c, nullptr, nullptr);
}

TEST(LinuxSession, TheAgentNameIsHeldByOneProcessOnly) {
    PrivateBus bus;
    platform::linux_machine::LinuxMachine::installNew();
    EXPECT_EQ(platform::claimSessionBusName("org.example.Agent"), SessionNameClaim::Owned);
    EXPECT_EQ(platform::claimSessionBusName("org.example.Agent"), SessionNameClaim::Owned);

    GDBusConnection* other = connectToBus(bus.address());
    EXPECT_EQ(requestBusName(other, "org.example.Agent"), 3u) << "exists: held by us";
    EXPECT_EQ(requestBusName(other, "org.example.Other"), 1u);
    EXPECT_EQ(platform::claimSessionBusName("org.example.Other"), SessionNameClaim::OwnedElsewhere);
    g_object_unref(other);
}

TEST(LinuxSession, WithoutASessionBusTheNameIsUnavailable) {
    TempDir dir;
    ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir / "no-bus");
    platform::linux_machine::LinuxMachine::installNew();
    EXPECT_EQ(platform::claimSessionBusName("org.example.Agent"), SessionNameClaim::Unavailable);
}

TEST(LinuxSession, ResumeFromLogindIsReportedAndGoingToSleepOrOtherSendersAreNot) {
    PrivateBus system(PrivateBus::Kind::System);
    platform::linux_machine::LinuxMachine::installNew();
    int wakes = 0;
    platform::addWakeObserver([&] { ++wakes; });

    GDBusConnection* impostor = connectToBus(system.address());
    emitPrepareForSleep(impostor, false);  // not logind
    GDBusConnection* logind = connectToBus(system.address());
    ASSERT_EQ(requestBusName(logind, "org.freedesktop.login1"), 1u);
    emitPrepareForSleep(logind, true);   // going to sleep
    emitPrepareForSleep(logind, false);  // resumed
    ASSERT_TRUE(testing_support::runLoopUntil([&] { return wakes > 0; }));
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.2, false);
    EXPECT_EQ(wakes, 1);
    g_object_unref(impostor);
    g_object_unref(logind);
}

TEST(LinuxSession, TerminationSignalsArriveOnTheRunLoop) {
    platform::linux_machine::LinuxMachine::installNew();
    std::vector<int> received;
    platform::addTerminationRequestObserver([&](int sig) { received.push_back(sig); });
    ::raise(SIGTERM);
    ::raise(SIGINT);
    ASSERT_TRUE(testing_support::runLoopUntil([&] { return received.size() == 2; }));
    std::sort(received.begin(), received.end());
    EXPECT_EQ(received, (std::vector<int>{SIGINT, SIGTERM}));
}

}  // namespace
