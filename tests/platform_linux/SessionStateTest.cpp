// The user's session through the Linux machine: its state as systemd-logind
// tells it (our FakeLogind on a private system bus), the time since the last
// input as mutter tells it, and values published on the private session bus.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Session/Session.h"
#include "linux/session/PublishedValues.h"
#include "support/DesktopService.h"
#include "support/FakeLogind.h"
#include "support/LaptopOnLinux.h"
#include "support/MainContext.h"
#include "support/PrivateBus.h"

using platform::SessionState;
using namespace testing_support;

namespace {

class Session : public ::testing::Test, protected LaptopOnLinux {
  protected:
    std::string backlights() const { return root / "sys/class/backlight"; }
};

// How the machine's connection to the system bus is made: at once by a
// program without a window, without waiting by one with a window.
class SessionFromLogind : public Session, public ::testing::WithParamInterface<bool> {};

std::string describe(const SessionState& s) {
    return std::string(s.active ? "active" : "inactive") + (s.idle ? ", idle" : "") +
           (s.sleeping ? ", sleeping" : "");
}

// Another program of the session: its own connection to the session bus.

}  // namespace

// The changes come in the order logind announces them; the greeter's session
// taking the screen is announced on the greeter's own path and is not ours.
TEST_P(SessionFromLogind, FollowsLogindsSessionAndTheMachinesSleep) {
    PrivateBus system(PrivateBus::Kind::System);
    FakeLogind logind(backlights(), /*sessionActive=*/false);
    logind.setIdle(true);
    machine.setMainThreadNeverWaits(GetParam());

    auto becomes = [&](const char* state) {
        return turnMainContextUntil([&] { return describe(platform::sessionState()) == state; });
    };
    // Asked before anyone observes it, the state is logind's all the same.
    ASSERT_TRUE(becomes("inactive, idle")) << describe(platform::sessionState());

    const auto mainThread = std::this_thread::get_id();
    std::vector<std::string> seen;
    int wakes = 0;
    platform::addSessionStateObserver([&](const SessionState& s) {
        EXPECT_EQ(std::this_thread::get_id(), mainThread);
        seen.push_back(describe(s));
    });
    platform::addWakeObserver([&] { ++wakes; });
    logind.setActive(true);
    ASSERT_TRUE(becomes("active, idle"));
    logind.setIdle(false);
    ASSERT_TRUE(becomes("active"));
    logind.setActive(false);  // ours leaves the screen, then the greeter's takes it
    logind.setIdle(true);     // heard after both
    ASSERT_TRUE(becomes("inactive, idle")) << describe(platform::sessionState());
    logind.prepareForSleep(true);
    ASSERT_TRUE(becomes("inactive, idle, sleeping"));
    EXPECT_EQ(wakes, 0);
    logind.prepareForSleep(false);
    ASSERT_TRUE(becomes("inactive, idle"));
    EXPECT_TRUE(turnMainContextUntil([&] { return wakes == 1; }));

    EXPECT_EQ(seen,
              (std::vector<std::string>{"active, idle", "active", "inactive", "inactive, idle",
                                        "inactive, idle, sleeping", "inactive, idle"}));
    EXPECT_TRUE(machine.lines.empty()) << machine.lines.front();
}

INSTANTIATE_TEST_SUITE_P(Connected, SessionFromLogind, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "FromAWindow" : "AtOnce"; });

// Without logind the session counts as at the screen and awake, and the log
// says why with the bus's own words.
TEST_F(Session, WithoutLogindTheSessionIsActiveAwakeAndTheLogSaysWhy) {
    int changes = 0;
    platform::addSessionStateObserver([&](const SessionState&) { ++changes; });
    EXPECT_TRUE(machine.logged("No D-Bus system bus")) << testing::PrintToString(machine.lines);
    EXPECT_TRUE(machine.logged("No such file or directory"))
        << testing::PrintToString(machine.lines);

    PrivateBus system(PrivateBus::Kind::System);  // a bus, but nobody owns logind's name
    auto& another = LoggingLinuxMachine::installNew();
    platform::addSessionStateObserver([&](const SessionState&) { ++changes; });
    ASSERT_TRUE(turnMainContextUntil([&] { return !another.lines.empty(); }));
    EXPECT_TRUE(another.logged("systemd-logind does not tell")) << another.lines.front();
    EXPECT_TRUE(another.logged("org.freedesktop.login1")) << another.lines.front();
    EXPECT_EQ(platform::sessionState(), SessionState{});
    EXPECT_EQ(changes, 0);
}

// Mutter's idle monitor answers in milliseconds; without it the time is
// unknown and the log says so once.
TEST_F(Session, TheTimeSinceInputIsMuttersAndUnknownWithoutIt) {
    std::string why;
    if (!DesktopService::available(&why))
        GTEST_SKIP() << why;
    machine.setMainThreadNeverWaits(true);  // a window's thread does not ask
    EXPECT_EQ(platform::secondsSinceInput(), std::nullopt);
    EXPECT_TRUE(machine.lines.empty());
    machine.setMainThreadNeverWaits(false);

    EXPECT_EQ(platform::secondsSinceInput(), std::nullopt);
    EXPECT_EQ(platform::secondsSinceInput(), std::nullopt);
    EXPECT_EQ(machine.lines.size(), 1u);
    EXPECT_TRUE(machine.logged("org.gnome.Mutter.IdleMonitor")) << machine.lines.front();

    DesktopService mutter(DesktopService::Kind::MutterIdleMonitor, {{"idletime", "90500"}});
    EXPECT_EQ(platform::secondsSinceInput(), 90.5);
    ASSERT_TRUE(
        mutter.call("org.freedesktop.DBus.Mock", "SetIdletime", g_variant_new("(t)", 1500)));
    EXPECT_EQ(platform::secondsSinceInput(), 1.5);
    mutter.stop();
    EXPECT_EQ(platform::secondsSinceInput(), std::nullopt);
}

// The values this program publishes, read as any program of the session reads
// them; and another program's values followed as it publishes, changes them
// and ends.
TEST_F(Session, ValuesPublishedOnTheSessionBusAreFollowedUntilTheirOwnerEnds) {
    GDBusConnection* other = connectToBus(session->address());
    ASSERT_TRUE(other);

    ASSERT_EQ(platform::claimSessionBusName("org.example.Agent"),
              platform::SessionNameClaim::Owned);
    platform::publishSessionValue("mode", "auto");
    platform::publishSessionValue("mode", "manual");
    GVariant* read = nullptr;
    g_dbus_connection_call(
        other, "org.example.Agent", "/org/example/Agent", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.example.Agent", "Values"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
        [](GObject* c, GAsyncResult* result, gpointer out) {
            GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(c), result, nullptr);
            *static_cast<GVariant**>(out) = reply ? reply : g_variant_ref_sink(g_variant_new("()"));
        },
        &read);
    ASSERT_TRUE(turnMainContextUntil([&] { return read != nullptr; }));
    gchar* text = g_variant_print(read, FALSE);
    EXPECT_STREQ(text, "(<{'mode': 'manual'}>,)");
    g_free(text);
    g_variant_unref(read);

    std::vector<std::optional<std::string>> seen;
    const int token = platform::watchSessionValue(
        "org.example.Other", "mode",
        [&](const std::optional<std::string>& v) { seen.push_back(v); });
    ASSERT_TRUE(turnMainContextUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen.back(), std::nullopt) << "nobody holds the name yet";

    ASSERT_EQ(requestBusName(other, "org.example.Other"), 1u);
    auto theirs = std::make_unique<platform::linux_machine::PublishedValues>();
    theirs->publish(other, "org.example.Other", "mode", "auto");
    ASSERT_TRUE(turnMainContextUntil([&] { return seen.back() == "auto"; }));
    theirs->publish(other, "org.example.Other", "mode", "off");
    ASSERT_TRUE(turnMainContextUntil([&] { return seen.back() == "off"; }));

    g_dbus_connection_close_sync(other, nullptr, nullptr);  // the other program ends
    ASSERT_TRUE(turnMainContextUntil([&] { return seen.back() == std::nullopt; }));
    theirs.reset();

    platform::unwatchSessionValue(token);
    const auto count = seen.size();
    GDBusConnection* again = connectToBus(session->address());
    ASSERT_EQ(requestBusName(again, "org.example.Other"), 1u);
    turnMainContextUntil([] { return false; }, 0.3);
    EXPECT_EQ(seen.size(), count) << "heard after it stopped watching";
    g_object_unref(again);
    g_object_unref(other);
}
