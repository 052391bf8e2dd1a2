// HID devices: hidraw monitors served through FUSE, monitors claimed by the
// appledisplay driver, and their arrival and removal.
#include <algorithm>

#include <sys/stat.h>

#include "LaptopFixture.h"
#include "linux/LinuxHID.h"
#include "support/FakeLogind.h"
#include "support/NoFileOverride.h"
#include "support/PrivateBus.h"

using namespace testing_support;
using platform::HIDBackend;
using platform::HIDDevice;
using platform::linux_machine::LinuxHID;

namespace {

struct Recorder : HIDBackend::Listener {
    std::vector<HIDDevice*> attached, removed;
    void deviceAttached(HIDDevice* d) override { attached.push_back(d); }
    void deviceRemoved(HIDDevice* d) override { removed.push_back(d); }
    HIDDevice* withProduct(std::int32_t product) const {
        for (auto* d : attached) {
            if (d->productID() == product)
                return d;
        }
        return nullptr;
    }
};

class LinuxHIDDevices : public LaptopTest {
  protected:
    std::vector<std::uint8_t> getBrightness(HIDDevice* d, IOReturn* status) {
        std::vector<std::uint8_t> payload(2, 0xEE);
        CFIndex length = 2;
        *status = d->getReport(kIOHIDReportTypeFeature, 16, payload.data(), &length);
        payload.resize(static_cast<std::size_t>(std::max<CFIndex>(length, 0)));
        return payload;
    }
    IOReturn setBrightness(HIDDevice* d, std::uint16_t raw) {
        std::uint8_t payload[2] = {static_cast<std::uint8_t>(raw & 0xFF),
                                   static_cast<std::uint8_t>(raw >> 8)};
        return d->setReport(kIOHIDReportTypeFeature, 16, payload, 2);
    }

    LinuxHID& hid() { return static_cast<LinuxHID&>(machine->hid()); }
    Recorder listener;
};

}  // namespace

TEST_F(LinuxHIDDevices, DevicesPresentAreReportedAtOpenAndAnsweredThroughHidraw) {
    SKIP_WITHOUT_FUSE();
    fuse->addMonitor("hidraw0", 0x1234);
    laptop.addHidrawDevice(0, 0x9226);
    laptop.addHidrawDevice(1, 0xC52B, {0x05, 0x01}, 0x046D);  // a mouse receiver, not ours to judge

    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 2u);
    HIDDevice* monitor = listener.withProduct(0x9226);
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->vendorID(), 0x05AC);
    EXPECT_EQ(monitor->description(), laptop.hidrawNode(0));
    ASSERT_NE(listener.withProduct(0xC52B), nullptr);
    EXPECT_EQ(listener.withProduct(0xC52B)->vendorID(), 0x046D);

    IOReturn status;
    EXPECT_EQ(getBrightness(monitor, &status), (std::vector<std::uint8_t>{0x34, 0x12}));
    EXPECT_EQ(status, kIOReturnSuccess);
    ASSERT_EQ(setBrightness(monitor, 0x7FFF), kIOReturnSuccess);
    EXPECT_EQ(fuse->brightness("hidraw0"), 0x7FFF);
    EXPECT_EQ(getBrightness(monitor, &status), (std::vector<std::uint8_t>{0xFF, 0x7F}));

    // A report the monitor does not have is refused, not faked.
    std::uint8_t other[2] = {1, 2};
    EXPECT_NE(monitor->setReport(kIOHIDReportTypeFeature, 17, other, 2), kIOReturnSuccess);
    EXPECT_EQ(fuse->writes("hidraw0"), (std::vector<std::uint16_t>{0x7FFF}));

    // The arrival is described once, from the report descriptor.
    EXPECT_TRUE(logged("0x9226")) << (machine->lines.empty() ? "" : machine->lines[0]);
    EXPECT_TRUE(logged(laptop.hidrawNode(0)));
    EXPECT_TRUE(logged("16 bits, logical range 0 to 65535"));
    EXPECT_FALSE(logged("0xc52b"));

    // A second manager is told about the same device objects.
    Recorder second;
    ASSERT_EQ(hid().open(&second), kIOReturnSuccess);
    EXPECT_EQ(second.withProduct(0x9226), monitor);
    EXPECT_EQ(listener.attached.size(), 2u);
}

TEST_F(LinuxHIDDevices, ArrivalAndRemovalWhileOpenWithTheSameDevice) {
    SKIP_WITHOUT_FUSE();
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    EXPECT_TRUE(listener.attached.empty());

    fuse->addMonitor("hidraw3");
    laptop.addHidrawDevice(3, 0x9236, {0x85, 0x10, 0x75, 0x08, 0x95, 0x01, 0xB1, 0x02});
    ASSERT_TRUE(runUntil([&] { return listener.attached.size() == 1; }));
    HIDDevice* monitor = listener.attached[0];
    EXPECT_EQ(monitor->productID(), 0x9236);
    EXPECT_EQ(setBrightness(monitor, 0x0102), kIOReturnSuccess);
    EXPECT_TRUE(logged("8 bits, logical range 0 to 0"));

    fuse->unplug("hidraw3");
    laptop.removeHidrawDevice(3);
    ASSERT_TRUE(runUntil([&] { return listener.removed.size() == 1; }));
    EXPECT_EQ(listener.removed[0], monitor);
    EXPECT_EQ(setBrightness(monitor, 0x0304), kIOReturnNotAttached);
    IOReturn status;
    getBrightness(monitor, &status);
    EXPECT_EQ(status, kIOReturnNotAttached);

    // Plugged in again: a new device object, reachable again.
    fuse->addMonitor("hidraw3", 0x4000);
    laptop.addHidrawDevice(3, 0x9236);
    ASSERT_TRUE(runUntil([&] { return listener.attached.size() == 2; }));
    EXPECT_NE(listener.attached[1], monitor);
    EXPECT_EQ(getBrightness(listener.attached[1], &status),
              (std::vector<std::uint8_t>{0x00, 0x40}));
}

TEST_F(LinuxHIDDevices, MonitorVanishingMidUseGivesFailingStatusesAndNoHang) {
    SKIP_WITHOUT_FUSE();
    fuse->addMonitor("hidraw0");
    laptop.addHidrawDevice(0, 0x9226);
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    HIDDevice* monitor = listener.attached.at(0);
    fuse->unplugAfterWrites("hidraw0", 3, [] {});
    std::vector<IOReturn> statuses;
    for (int i = 0; i < 6; ++i)
        statuses.push_back(setBrightness(monitor, static_cast<std::uint16_t>(i)));
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), kIOReturnSuccess), 3);
    EXPECT_EQ(statuses.back(), kIOReturnNoDevice);
    IOReturn status;
    getBrightness(monitor, &status);
    EXPECT_NE(status, kIOReturnSuccess);

    // The whole server gone (the connection closed): still only statuses.
    fuse.reset();
    EXPECT_NE(setBrightness(monitor, 7), kIOReturnSuccess);
}

TEST_F(LinuxHIDDevices, NodeNameReusedByAnotherDeviceIsAnotherDevice) {
    SKIP_WITHOUT_FUSE();
    fuse->addMonitor("hidraw0");
    laptop.addHidrawDevice(0, 0x9226);
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 1u);
    // Unplugged and another monitor plugged in before anyone looked.
    laptop.removeHidrawDevice(0);
    laptop.addHidrawDevice(0, 0x9221);
    ASSERT_TRUE(runUntil([&] { return listener.attached.size() == 2; }));
    ASSERT_EQ(listener.removed.size(), 1u);
    EXPECT_EQ(listener.removed[0], listener.attached[0]);
    EXPECT_EQ(listener.attached[1]->productID(), 0x9221);
}

TEST_F(LinuxHIDDevices, AppleDisplayDriverMonitorsAreFoundWhereverTheirBacklightSits) {
    laptop.addAppleDisplay(0, 0x9226, 255, 10);  // as the driver registers it
    laptop.addAppleDisplay(1, 0x9236, 255, 20, /*underUsbInterface=*/true);
    laptop.addAppleDisplay(2, 0x921C, 255, 30);
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 3u);
    for (std::int32_t product : {0x9226, 0x9236, 0x921C}) {
        ASSERT_NE(listener.withProduct(product), nullptr) << product;
        EXPECT_EQ(listener.withProduct(product)->vendorID(), 0x05AC);
    }
    // The one under its interface is paired with its own USB device.
    IOReturn status;
    EXPECT_EQ(getBrightness(listener.withProduct(0x9236), &status),
              (std::vector<std::uint8_t>{0x14, 0x14}));
    // A panel backlight is not a monitor.
    laptop.addCardBacklight("acpi_video0", "firmware", 0, 100, 50);
    hid().rescan();
    EXPECT_EQ(listener.attached.size(), 3u);
}

// The driver links its backlights to no USB interface: with monitors of one
// product the product is known; with several, the log says it is not.
TEST_F(LinuxHIDDevices, AppleDisplayDriverMonitorsOfSeveralProductsSayThePairingIsUnknown) {
    laptop.addAppleDisplay(0, 0x9226, 255, 10, false, /*port=*/10);
    laptop.addAppleDisplay(1, 0x9226, 255, 20, false, /*port=*/2);
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 2u);
    for (const char* backlight : {"appledisplay0", "appledisplay1"})
        EXPECT_TRUE(logged(std::string("USB monitor 0x9226 at ") + laptop.root() +
                           "/sys/class/backlight/" + backlight +
                           ": driven by the appledisplay driver, brightness 0 to 255"))
            << backlight;
    EXPECT_FALSE(logged("unknown which"));

    laptop.addAppleDisplay(2, 0x9218, 255, 30, false, /*port=*/1);
    hid().rescan();
    ASSERT_EQ(listener.attached.size(), 3u);
    const std::string unknown =
        " (unknown which: the appledisplay driver registers its backlight without a parent "
        "device, so the kernel links it to none of the monitors' USB interfaces)";
    EXPECT_TRUE(logged("USB monitor 0x9218 or 0x9226" + unknown) ||
                logged("USB monitor 0x9226 or 0x9218" + unknown));
    const std::int32_t guessed = listener.attached[2]->productID();
    EXPECT_TRUE(guessed == 0x9218 || guessed == 0x9226) << guessed;
}

TEST_F(LinuxHIDDevices, AppleDisplayDriverMonitorSpeaksReport16OverItsBacklight) {
    laptop.addAppleDisplay(0, 0x9218, 255, 128);
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 1u);
    HIDDevice* monitor = listener.attached[0];
    EXPECT_EQ(monitor->vendorID(), 0x05AC);
    EXPECT_EQ(monitor->productID(), 0x9218);
    EXPECT_TRUE(logged("0x9218"));

    IOReturn status;
    EXPECT_EQ(getBrightness(monitor, &status),
              (std::vector<std::uint8_t>{0x80, 0x80}));  // 128 * 257
    const std::string file = laptop.backlightFile("appledisplay0", "brightness");
    struct Case {
        std::uint16_t raw;
        long driver;
    } cases[] = {{0xFFFF, 255}, {0x0000, 0}, {0x7FFF, 127},
                 {0x8000, 128}, {0x0080, 0}, {0x0081, 1}};
    for (auto c : cases) {
        ASSERT_EQ(setBrightness(monitor, c.raw), kIOReturnSuccess);
        EXPECT_EQ(std::stol(readFile(file)), c.driver) << c.raw;
    }
    writeFile(file, "255\n");
    EXPECT_EQ(getBrightness(monitor, &status), (std::vector<std::uint8_t>{0xFF, 0xFF}));

    std::uint8_t payload[2] = {0, 0};
    EXPECT_NE(monitor->setReport(kIOHIDReportTypeFeature, 17, payload, 2), kIOReturnSuccess);
    EXPECT_NE(monitor->setReport(kIOHIDReportTypeFeature, 16, payload, 1), kIOReturnSuccess);
    writeFile(file, "garbage\n");
    getBrightness(monitor, &status);
    EXPECT_NE(status, kIOReturnSuccess);

    laptop.removeAppleDisplay(0);
    EXPECT_NE(setBrightness(monitor, 0x1000), kIOReturnSuccess);
    ASSERT_TRUE(runUntil([&] { return listener.removed.size() == 1; }));
    EXPECT_EQ(listener.removed[0], monitor);
}

TEST_F(LinuxHIDDevices, AppleDisplayDriverMonitorWithoutWriteAccessIsWrittenThroughLogind) {
    laptop.addAppleDisplay(0, 0x9226, 255, 10);
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 1u);
    HIDDevice* monitor = listener.attached[0];
    chmod(laptop.backlightFile("appledisplay0", "brightness").c_str(), 0444);
    PrivateBus bus(PrivateBus::Kind::System);
    {
        FakeLogind logind(laptop.root() + "/sys/class/backlight");  // may write: made first
        NoFileOverride asUser;
        ASSERT_EQ(setBrightness(monitor, 0xFFFF), kIOReturnSuccess);
        auto calls = logind.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].subsystem, "backlight");
        EXPECT_EQ(calls[0].name, "appledisplay0");
        EXPECT_EQ(calls[0].value, 255u);
        IOReturn status;
        EXPECT_EQ(getBrightness(monitor, &status), (std::vector<std::uint8_t>{0xFF, 0xFF}));
        logind.refuse(true);
        EXPECT_NE(setBrightness(monitor, 0x0000), kIOReturnSuccess);
    }
    NoFileOverride asUser;
    EXPECT_NE(setBrightness(monitor, 0x0000), kIOReturnSuccess);  // no logind
    EXPECT_EQ(laptop.backlightValue("appledisplay0"), 255);
}
