// The session services of the Linux machine on private D-Bus buses: the
// agent's name, logind's resume signal and termination signals.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <functional>

#include "support/Waiting.h"
#include "CoreFoundation/CFRunLoop.h"
#include "Session/Session.h"
#include "linux/LinuxMachine.h"
#include "support/PrivateBus.h"

using platform::SessionNameClaim;
using namespace testing_support;

namespace {

GDBusConnection* connect(const std::string& address) {
    GError* error = nullptr;
    GDBusConnection* c = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    EXPECT_TRUE(c) << (error ? error->message : "");
    g_clear_error(&error);
    return c;
}

guint32 requestName(GDBusConnection* c, const char* name) {
    GVariant* reply = g_dbus_connection_call_sync(
        c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        nullptr);
    guint32 result = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
    }
    return result;
}

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

    GDBusConnection* other = connect(bus.address());
    EXPECT_EQ(requestName(other, "org.example.Agent"), 3u) << "exists: held by us";
    EXPECT_EQ(requestName(other, "org.example.Other"), 1u);
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

    GDBusConnection* impostor = connect(system.address());
    emitPrepareForSleep(impostor, false);  // not logind
    GDBusConnection* logind = connect(system.address());
    ASSERT_EQ(requestName(logind, "org.freedesktop.login1"), 1u);
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
