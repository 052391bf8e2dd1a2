// DDC/CI on the wire: the messages for a monitor's brightness, how a reply
// is judged, and the pauses and the bus lock around each exchange, against
// the simulated monitor (which keeps its own account of the standard).
#include <gtest/gtest.h>

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
