// AV services on Linux: which outputs have one, what they say about
// themselves, their I2C channel through /dev/i2c-N, and their coming and
// going through matching notifications on the run loop.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>

#include "IOKit/IOAVService.h"
#include "IOKit/IOKitLib.h"
#include "IOKit/IONotificationPort.h"
#include "support/FuseI2cBus.h"
#include "support/LaptopOnLinux.h"

using namespace testing_support;

namespace {

class AVServices : public LaptopTest {
  protected:
    std::vector<io_service_t> services() {
        io_iterator_t it = 0;
        EXPECT_EQ(IOServiceGetMatchingServices(kIOMainPortDefault,
                                               IOServiceMatching(kIOAVServiceClassName), &it),
                  KERN_SUCCESS);
        std::vector<io_service_t> found;
        while (io_service_t s = IOIteratorNext(it))
            found.push_back(s);
        IOObjectRelease(it);
        return found;
    }
    static std::string location(io_service_t s) {
        auto value = IORegistryEntryCreateCFProperty(s, kIOAVServiceLocationKey, nullptr, 0);
        return value && value->stringValue() ? *value->stringValue() : "";
    }
};

TEST_F(AVServices, OneForEachConnectedOutputWithADdcBus) {
    VirtualLaptop::Connector panel;
    panel.edid = VirtualLaptop::makeEdid("APP", 0xA045, 0);
    panel.ddcBus = 3;
    laptop.addI2cAdapter(3, "AUX A/DDI A/PHY A", laptop.connectorFolder("card0-eDP-1"));
    laptop.addConnector(panel);
    VirtualLaptop::Connector noBus;
    noBus.name = "HDMI-A-1";
    laptop.addConnector(noBus);
    VirtualLaptop::Connector empty;
    empty.name = "HDMI-A-2";
    empty.connected = false;
    empty.ddcBus = 4;
    laptop.addConnector(empty);
    const auto edid = VirtualLaptop::makeEdid("DEL", 0xA0BA, 7, "DELL U2415");
    laptop.addDdcMonitor("DP-5", 5, edid);

    const auto found = services();
    ASSERT_EQ(found.size(), 2u);
    std::vector<std::string> locations{location(found[0]), location(found[1])};
    std::sort(locations.begin(), locations.end());
    EXPECT_EQ(locations, (std::vector<std::string>{"Embedded", "External"}));
    const io_service_t monitor = location(found[0]) == "External" ? found[0] : found[1];
    auto av = IOAVServiceCreateWithService(kCFAllocatorDefault, monitor);
    ASSERT_TRUE(av);
    std::vector<std::uint8_t> copied;
    EXPECT_EQ(IOAVServiceCopyEDID(av, &copied), kIOReturnSuccess);
    EXPECT_EQ(copied, edid);
    EXPECT_FALSE(IOAVServiceCreateWithService(kCFAllocatorDefault, 12345));
}

TEST_F(AVServices, TransfersGoThroughTheBusNodeUnderItsLock) {
    SKIP_WITHOUT_FUSE();
    auto bus = std::make_shared<FuseI2cBus>();
    fuse->addNode("i2c-5", bus);
    laptop.addDdcMonitor("DP-5", 5, VirtualLaptop::makeEdid("DEL", 0xA0BA, 7));
    auto av = IOAVServiceCreateWithService(kCFAllocatorDefault, services().at(0));
    const int other = open((laptop.devFolder() + "/i2c-5").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    {
        platform::AVServiceBusLock lock(av);
        ASSERT_TRUE(lock.held());
        EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);  // another program waits
        std::uint8_t get[] = {0x82, 0x01, 0x10, 0xAC};
        EXPECT_EQ(IOAVServiceWriteI2C(av, 0x37, 0x51, get, sizeof get), kIOReturnSuccess);
        std::uint8_t reply[11] = {};
        EXPECT_EQ(IOAVServiceReadI2C(av, 0x37, 0, reply, sizeof reply), kIOReturnSuccess);
        EXPECT_EQ(reply[0], 0x6E);
        EXPECT_EQ(reply[9], 50);  // the monitor's current value
        // Nobody at another address: the adapter's missing acknowledgement.
        EXPECT_EQ(IOAVServiceReadI2C(av, 0x3A, 0, reply, 1), kIOReturnNotResponding);
        EXPECT_EQ(IOAVServiceReadI2C(av, 0x80, 0, reply, 1), kIOReturnBadArgument);
    }
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    flock(other, LOCK_UN);
    close(other);
    auto lock = bus->lock();
    ASSERT_GE(bus->transfers().size(), 2u);
    EXPECT_EQ(bus->transfers()[0].bytes, (std::vector<std::uint8_t>{0x51, 0x82, 0x01, 0x10, 0xAC}));
}

struct Seen {
    std::vector<io_service_t> arrived, removed;
};

void arrivals(void* refcon, io_iterator_t it) {
    while (io_service_t s = IOIteratorNext(it))
        static_cast<Seen*>(refcon)->arrived.push_back(s);
}
void removals(void* refcon, io_iterator_t it) {
    while (io_service_t s = IOIteratorNext(it))
        static_cast<Seen*>(refcon)->removed.push_back(s);
}

TEST_F(AVServices, ArrivalsAndRemovalsComeThroughTheNotificationPort) {
    laptop.addBuiltinPanel();
    laptop.addDdcMonitor("DP-5", 5, VirtualLaptop::makeEdid("DEL", 0xA0BA, 7));
    auto port = IONotificationPortCreate(kIOMainPortDefault);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource(port),
                       kCFRunLoopDefaultMode);
    Seen seen;
    io_iterator_t first = 0, terminated = 0;
    ASSERT_EQ(IOServiceAddMatchingNotification(port, kIOFirstMatchNotification,
                                               IOServiceMatching(kIOAVServiceClassName), arrivals,
                                               &seen, &first),
              KERN_SUCCESS);
    ASSERT_EQ(IOServiceAddMatchingNotification(port, kIOTerminatedNotification,
                                               IOServiceMatching(kIOAVServiceClassName), removals,
                                               &seen, &terminated),
              KERN_SUCCESS);
    arrivals(&seen, first);  // the one present now
    removals(&seen, terminated);
    ASSERT_EQ(seen.arrived.size(), 1u);
    const io_service_t present = seen.arrived[0];

    laptop.addDdcMonitor("DP-6", 6, VirtualLaptop::makeEdid("GSM", 0x7707, 9));
    ASSERT_TRUE(runUntil([&] { return seen.arrived.size() == 2; }));
    laptop.removeDdcMonitor("card0-DP-5", 5);
    ASSERT_TRUE(runUntil([&] { return seen.removed.size() == 1; }));
    EXPECT_EQ(seen.removed[0], present);
    // A channel of a service that went away fails from then on.
    EXPECT_FALSE(IOAVServiceCreateWithService(kCFAllocatorDefault, present));

    IOObjectRelease(first);
    laptop.removeDdcMonitor("card0-DP-6", 6);
    ASSERT_TRUE(runUntil([&] { return seen.removed.size() == 2; }));
    laptop.addDdcMonitor("DP-7", 7, VirtualLaptop::makeEdid("GSM", 0x7707, 9));
    runUntil([] { return false; }, 0.3);
    EXPECT_EQ(seen.arrived.size(), 2u);  // that notification was ended
}

}  // namespace
