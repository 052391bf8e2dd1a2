// DDC/CI on the wire: the messages for a monitor's brightness, how a reply
// is judged, and the pauses and the bus lock around each exchange, against
// the simulated monitor (which keeps its own account of the standard).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "CoreFoundation/CFRunLoop.h"
#include "engine/DdcCiMessages.h"
#include "engine/DdcLink.h"
#include "sim/SimMachine.h"

namespace {

using duolume::DdcLink;
using Bytes = std::vector<std::uint8_t>;
namespace ddc = duolume::ddc;

TEST(DdcCiMessages, RequestsCarryTheChecksumOverTheMonitorAndSourceAddresses) {
    // 6E ^ 51 ^ 82 ^ 01 ^ 10 = AC, the Get VCP request every DDC/CI tool sends.
    EXPECT_EQ(ddc::getVcpRequest(0x10), (Bytes{0x82, 0x01, 0x10, 0xAC}));
    EXPECT_EQ(ddc::setVcpRequest(0x10, 0x0032), (Bytes{0x84, 0x03, 0x10, 0x00, 0x32, 0x9A}));
    EXPECT_EQ(ddc::setVcpRequest(0x10, 0x0190), (Bytes{0x84, 0x03, 0x10, 0x01, 0x90, 0x39}));
}

TEST(DdcCiMessages, ARepliesChecksumStartsFromTheHostsVirtualAddress) {
    // current 0x32 of 0x64; checksum 50 ^ 6E ^ 88 ^ 02 ^ 10 ^ 64 ^ 32 = F2.
    Bytes reply{0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32, 0xF2};
    auto parsed = ddc::parseGetVcpReply(reply, 0x10);
    ASSERT_TRUE(parsed.value);
    EXPECT_EQ(parsed.value->current, 0x32);
    EXPECT_EQ(parsed.value->maximum, 0x64);
    // The same reply summed from 0x6F (where the host reads it) is refused.
    reply[10] = 0xF2 ^ 0x50 ^ 0x6F;
    EXPECT_EQ(ddc::parseGetVcpReply(reply, 0x10).fault, "checksum");
    // The standard's null message: no answer ready.
    EXPECT_EQ(ddc::parseGetVcpReply({0x6E, 0x80, 0xBE, 0, 0, 0, 0, 0, 0, 0, 0}, 0x10).fault,
              "null message");
    // Result code 1: the monitor does not know the control.
    Bytes unsupported{0x6E, 0x88, 0x02, 0x01, 0x10, 0x00, 0, 0, 0, 0, 0};
    unsupported[10] = 0x50 ^ 0x6E ^ 0x88 ^ 0x02 ^ 0x01 ^ 0x10;
    EXPECT_EQ(ddc::parseGetVcpReply(unsupported, 0x10).fault, "unsupported");
    // An answer about another control, a short one, one from elsewhere.
    Bytes other = {0x6E, 0x88, 0x02, 0x00, 0x12, 0x00, 0, 0x64, 0, 0x32, 0};
    other[10] = 0x50 ^ 0x6E ^ 0x88 ^ 0x02 ^ 0x12 ^ 0x64 ^ 0x32;
    EXPECT_EQ(ddc::parseGetVcpReply(other, 0x10).fault, "malformed");
    EXPECT_EQ(ddc::parseGetVcpReply({0x6E, 0x88}, 0x10).fault, "malformed");
    EXPECT_EQ(ddc::parseGetVcpReply({0x00, 0x80, 0xBE}, 0x10).fault, "malformed");
}

class DdcLinkTest : public ::testing::Test {
  protected:
    platform::sim::SimMachine& sim = platform::sim::SimMachine::installNew();
    platform::sim::SimAVService& display = sim.simAVServices().plugInDisplay();
    IOAVServiceRef service =
        IOAVServiceCreateWithService(kCFAllocatorDefault, sim.simAVServices().services().at(0));
    DdcLink link{service};
};

TEST_F(DdcLinkTest, AGetWaitsFiftyMillisecondsForItsReplyAndAfterItUnderOneLock) {
    display.monitor.current = 37;
    display.monitor.maximum = 80;
    std::string why;
    auto value = link.readLuminance(&why);
    ASSERT_TRUE(value) << why;
    EXPECT_EQ(value->current, 37);
    EXPECT_EQ(value->maximum, 80);
    ASSERT_EQ(display.transfers.size(), 2u);
    EXPECT_EQ(display.transfers[0].bytes, (Bytes{0x51, 0x82, 0x01, 0x10, 0xAC}));
    EXPECT_EQ(display.transfers[1].kind, 'R');
    EXPECT_NEAR(display.transfers[1].when - display.transfers[0].when, 0.050, 1e-9);
    EXPECT_NEAR(CFAbsoluteTimeGetCurrent() - display.transfers[1].when, 0.050, 1e-9);
    EXPECT_TRUE(display.transfers[0].locked && display.transfers[1].locked);
    EXPECT_FALSE(display.locked);  // let go after the reply and its quiet
}

TEST_F(DdcLinkTest, TheMonitorGetsFiftyMillisecondsOfQuietAfterASetWithTheBusHeld) {
    display.transferSeconds = 0.1;
    const double start = CFAbsoluteTimeGetCurrent();
    ASSERT_EQ(link.writeLuminance(64), kIOReturnSuccess);
    EXPECT_EQ(display.monitor.sets, (std::vector<std::uint16_t>{64}));
    EXPECT_NEAR(CFAbsoluteTimeGetCurrent() - start, 0.15, 1e-9);  // returned after the quiet
    std::string why;
    ASSERT_TRUE(link.readLuminance(&why));
    ASSERT_EQ(display.transfers.size(), 3u);
    EXPECT_GE(display.transfers[1].when - (display.transfers[0].when + 0.1), 0.050 - 1e-9);
}

TEST_F(DdcLinkTest, FailuresSayWhatWentWrong) {
    std::string why;
    display.monitor.behaviour = platform::sim::SimDdcMonitor::Behaviour::BadChecksum;
    EXPECT_FALSE(link.readLuminance(&why));
    EXPECT_EQ(why, "its reply was unusable (checksum)");
    display.monitor.behaviour = platform::sim::SimDdcMonitor::Behaviour::Silent;
    EXPECT_FALSE(link.readLuminance(&why));
    EXPECT_EQ(why, "IOAVServiceWriteI2C error 0xe00002ed");
    // A bus another program keeps: nothing is sent at all.
    display.monitor.behaviour = platform::sim::SimDdcMonitor::Behaviour::Answers;
    display.lockStatus = kIOReturnBusy;
    const auto before = display.transfers.size();
    EXPECT_EQ(link.writeLuminance(10), kIOReturnBusy);
    EXPECT_FALSE(link.readLuminance(&why));
    EXPECT_EQ(why, "bus lock error 0xe00002d5");
    EXPECT_EQ(display.transfers.size(), before);
}

}  // namespace

namespace {

Bytes withChecksum(Bytes reply) {
    std::uint8_t sum = 0x50;
    for (auto b : reply)
        sum ^= b;
    reply.push_back(sum);
    return reply;
}

// Replies as monitors send them, and what becomes of each.
struct ReplyCase {
    const char* name;
    Bytes bytes;
    std::optional<std::uint16_t> current;  // the value taken, or none
    const char* fault;
    bool again;  // worth asking again
};

TEST(DdcCiMessages, RepliesAsMonitorsSendThem) {
    const Bytes good = withChecksum({0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32});
    Bytes doubled = good;
    doubled.insert(doubled.begin(), 0x6E);
    const ReplyCase cases[] = {
        {"plain", good, 0x32, "", false},
        {"address sent twice", doubled, 0x32, "", false},
        {"read one byte long",
         [&] {
             auto b = good;
             b.push_back(0);
             return b;
         }(),
         0x32, "", false},
        {"result code 1", withChecksum({0x6E, 0x88, 0x02, 0x01, 0x10, 0, 0, 0, 0, 0}), std::nullopt,
         "unsupported", false},
        {"result code 2", withChecksum({0x6E, 0x88, 0x02, 0x02, 0x10, 0, 0, 0x64, 0, 0x32}),
         std::nullopt, "malformed", true},
        {"null message",
         {0x6E, 0x80, 0xBE, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         std::nullopt,
         "null message",
         true},
        {"nothing at all", Bytes(12, 0), std::nullopt, "all zero", true},
        {"bad checksum",
         {0x6E, 0x88, 0x02, 0x00, 0x10, 0, 0, 0x64, 0, 0x32, 0x00},
         std::nullopt,
         "checksum",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = ddc::parseGetVcpReply(c.bytes, 0x10);
        ASSERT_EQ(parsed.value.has_value(), c.current.has_value()) << parsed.fault;
        if (c.current) {
            EXPECT_EQ(parsed.value->current, *c.current);
        }
        EXPECT_EQ(parsed.fault, c.fault);
        EXPECT_EQ(parsed.worthRetrying(), c.again);
    }
    // A non-continuous control's value is its SL byte, whatever is in SH.
    const auto sensor = ddc::parseGetVcpReply(
        withChecksum({0x6E, 0x88, 0x02, 0x00, 0x66, 0x00, 0, 2, 0x01, 2}), 0x66);
    ASSERT_TRUE(sensor.value);
    EXPECT_EQ(sensor.value->sl(), ddc::kSensorEnabled);
}

// Monitors from their owners' reports, asked for their brightness twice:
// how often each first Get is sent, and what the second costs.
struct ModelCase {
    const char* name;
    std::function<void(platform::sim::SimAVService&)> setUp;
    bool answers;
    int firstGets;   // Get requests of the first read
    int secondGets;  // and of the second, once the first has taught its wait
};

TEST(DdcLinkModels, EachIsAskedAsOftenAsDdcutilWouldAndASlowOneKeepsItsWait) {
    using Behaviour = platform::sim::SimDdcMonitor::Behaviour;
    const ModelCase cases[] = {
        {"answers at once", [](auto&) {}, true, 1, 1},
        {"slow, 60 ms", [](auto& d) { d.monitor.replySeconds = 0.060; }, true, 2, 1},
        {"slow, 120 ms", [](auto& d) { d.monitor.replySeconds = 0.120; }, true, 3, 1},
        {"address twice", [](auto& d) { d.monitor.doublesItsAddress = true; }, true, 1, 1},
        {"bad checksums", [](auto& d) { d.monitor.behaviour = Behaviour::BadChecksum; }, false, 10,
         10},
        {"no DDC/CI (ENXIO)", [](auto& d) { d.monitor.behaviour = Behaviour::Silent; }, false, 1,
         1},
        {"EBUSY", [](auto& d) { d.writeStatus = kIOReturnBusy; }, false, 1, 1},
        {"EIO", [](auto& d) { d.readStatus = kIOReturnIOError; }, false, 1, 1},
        {"EREMOTEIO", [](auto& d) { d.readStatus = kIOReturnNotReady; }, false, 10, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto& sim = platform::sim::SimMachine::installNew();
        auto& display = sim.simAVServices().plugInDisplay();
        c.setUp(display);
        DdcLink link{IOAVServiceCreateWithService(kCFAllocatorDefault,
                                                  sim.simAVServices().services().at(0))};
        auto gets = [&] {
            return static_cast<int>(std::count_if(display.transfers.begin(),
                                                  display.transfers.end(),
                                                  [](auto& t) { return t.kind == 'W'; }));
        };
        std::string why;
        EXPECT_EQ(link.readLuminance(&why).has_value(), c.answers) << why;
        EXPECT_EQ(gets(), c.firstGets);
        display.transfers.clear();
        EXPECT_EQ(link.readLuminance(&why).has_value(), c.answers) << why;
        EXPECT_EQ(gets(), c.secondGets);
        // Never less than the standard's 50 ms before a reply is read, nor
        // between a read and the next message.
        for (std::size_t i = 1; i < display.transfers.size(); ++i)
            EXPECT_GE(display.transfers[i].when - display.transfers[i - 1].when, 0.050 - 1e-9);
    }
}

}  // namespace
