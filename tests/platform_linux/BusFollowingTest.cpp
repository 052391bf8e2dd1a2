// How our D-Bus clients follow a service and read its PropertiesChanged:
// bodies as they come off the bus, damaged ones included, and a name's owners
// and announcements on a private session bus.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linux/bus/PropertyChanges.h"
#include "linux/bus/PropertyChangesWatch.h"
#include "linux/bus/ServiceWatch.h"
#include "support/MainContext.h"
#include "support/PrivateBus.h"

using namespace platform::linux_machine;
using namespace testing_support;

namespace {

GVariant* body(const char* text) {
    return g_variant_ref_sink(g_variant_new_parsed(text));
}

// What a reader makes of a body, in one line: "-" when it takes none.
std::string describe(GVariant* parameters, const char* interface) {
    auto changes = readPropertyChanges(parameters, interface);
    if (!changes)
        return "-";
    std::string text = changes->interface() + ":";
    if (auto b = changes->boolean("Active"))
        text += *b ? " Active=true" : " Active=false";
    if (auto i = changes->int32("Brightness"))
        text += " Brightness=" + std::to_string(*i);
    for (const auto& name : changes->invalidated())
        text += " ~" + name;
    return text;
}

}  // namespace

TEST(PropertyChanges, ReadsTheBodyOfTheInterfaceAskedForWithTypedValues) {
    struct Case {
        const char* body;
        const char* interface;
        const char* read;
    } cases[] = {
        {"('a.B', {'Active': <true>, 'Brightness': <42>}, @as [])", "a.B",
         "a.B: Active=true Brightness=42"},
        {"('a.B', @a{sv} {}, ['Active', 'IdleHint'])", nullptr, "a.B: ~Active ~IdleHint"},
        // Another interface's changes on the same object are not ours.
        {"('a.C', {'Active': <true>}, @as [])", "a.B", "-"},
        // A value of the wrong type is no value at all.
        {"('a.B', {'Active': <1>, 'Brightness': <'42'>}, @as [])", "a.B", "a.B:"},
        // Not the signature of PropertiesChanged.
        {"('a.B', {'Active': <true>})", "a.B", "-"},
        {"('a.B', {'Active': 'x'}, @as [])", "a.B", "-"},
    };
    for (const auto& c : cases) {
        GVariant* parameters = body(c.body);
        EXPECT_EQ(describe(parameters, c.interface), c.read) << c.body;
        g_variant_unref(parameters);
    }
    EXPECT_EQ(describe(nullptr, nullptr), "-");

    GVariant* parameters = body("('a.B', {'Backlight': <(uint32 1, @aa{sv} [])>}, ['Level'])");
    auto changes = readPropertyChanges(parameters);
    g_variant_unref(parameters);  // the changes keep what they need
    ASSERT_TRUE(changes);
    EXPECT_TRUE(changes->value("Backlight", "(uaa{sv})"));
    EXPECT_FALSE(changes->value("Backlight", "(u)"));
    EXPECT_TRUE(changes->mentions("Backlight"));
    EXPECT_TRUE(changes->mentions("Level"));
    EXPECT_TRUE(changes->invalidates("Level"));
    EXPECT_FALSE(changes->invalidates("Backlight"));
    EXPECT_FALSE(changes->mentions("Active"));
}

// One service coming, announcing, being replaced and going, as a watcher of
// its name and of its announcements sees it.
TEST(ServiceFollowing, OwnersInTurnAndOnlyTheAnnouncementsAskedFor) {
    PrivateBus bus;
    GDBusConnection* ours = connectToBus(bus.address());
    GDBusConnection* first = connectToBus(bus.address());
    GDBusConnection* second = connectToBus(bus.address());
    ASSERT_TRUE(ours && first && second);
    const std::string firstName = g_dbus_connection_get_unique_name(first);
    const std::string secondName = g_dbus_connection_get_unique_name(second);

    std::vector<std::string> seen;
    ServiceWatch watch;
    watch.start(
        ours, "org.example.Service", [&](const std::string& owner) { seen.push_back(owner); },
        [&] { seen.push_back("gone"); });
    PropertyChangesWatch announcements;
    announcements.start(
        ours, "org.example.Service", "/org/example/Service", "org.example.Service",
        [&](const char* sender, const char*, const PropertyChanges& changes) {
            seen.push_back(std::string(sender) + " " +
                           (changes.boolean("Active").value_or(false) ? "on" : "off"));
        });
    auto announce = [](GDBusConnection* from, const char* path, const char* interface, bool on) {
        g_dbus_connection_emit_signal(
            from, nullptr, path, "org.freedesktop.DBus.Properties", "PropertiesChanged",
            g_variant_new_parsed("(%s, {'Active': <%b>}, @as [])", interface, on), nullptr);
        g_dbus_connection_flush_sync(from, nullptr, nullptr);
    };
    auto sees = [&](std::vector<std::string> expected) {
        turnMainContextUntil([&] { return seen.size() >= expected.size(); }, 3.0);
        EXPECT_EQ(seen, expected);
        seen.clear();
    };

    sees({"gone"});  // the first answer: no owner yet
    ASSERT_EQ(requestBusName(first, "org.example.Service"), 1u);
    sees({firstName});
    // Another interface, another object: not asked for.
    announce(first, "/org/example/Service", "org.example.Other", true);
    announce(first, "/org/example/Elsewhere", "org.example.Service", true);
    announce(first, "/org/example/Service", "org.example.Service", true);
    sees({firstName + " on"});

    // Replaced: the old owner goes before the new one comes.
    g_dbus_connection_close_sync(first, nullptr, nullptr);
    sees({"gone"});
    ASSERT_EQ(requestBusName(second, "org.example.Service"), 1u);
    sees({secondName});

    watch.stop();
    announcements.stop();
    announce(second, "/org/example/Service", "org.example.Service", false);
    g_dbus_connection_close_sync(second, nullptr, nullptr);
    turnMainContextUntil([] { return false; }, 0.3);
    EXPECT_TRUE(seen.empty()) << seen.front();

    for (GDBusConnection* c : {ours, first, second})
        g_object_unref(c);
}
