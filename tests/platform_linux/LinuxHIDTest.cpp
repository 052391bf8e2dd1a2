// HID devices: hidraw monitors served through FUSE, monitors claimed by the
// appledisplay driver, and their arrival and removal.
#include <algorithm>

#include <sys/stat.h>

#include "linux/hid/LinuxHID.h"
#include "support/FakeLogind.h"
#include "support/LaptopOnLinux.h"
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
    HIDDevice* withDescription(const std::string& description) const {
        for (auto* d : attached) {
            if (d->description() == description)
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

    // The appledisplay driver's one-byte report 0x10.
    int driverReport(HIDDevice* d, IOReturn* status) {
        std::uint8_t raw = 0;
        CFIndex length = 1;
        *status = d->getReport(kIOHIDReportTypeFeature, 0x10, &raw, &length);
        return *status == kIOReturnSuccess && length == 1 ? raw : -1;
    }
    IOReturn setDriverReport(HIDDevice* d, std::uint8_t raw) {
        return d->setReport(kIOHIDReportTypeFeature, 0x10, &raw, 1);
    }

    LinuxHID& hid() { return static_cast<LinuxHID&>(machine.hid()); }
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

    // Its descriptor is what the kernel shows; the platform itself says nothing.
    ASSERT_FALSE(monitor->elements().empty());
    EXPECT_EQ(monitor->elements().back().type, kIOHIDElementTypeFeature);
    EXPECT_EQ(monitor->elements().back().logicalMax, 65535);
    EXPECT_TRUE(machine.lines.empty()) << machine.lines[0];

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
    ASSERT_EQ(monitor->elements().size(), 1u);
    EXPECT_EQ(monitor->elements()[0].reportSize, 8u);

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
    EXPECT_EQ(driverReport(listener.withProduct(0x9236), &status), 20);
    // A panel backlight is not a monitor.
    laptop.addCardBacklight("acpi_video0", "firmware", 0, 100, 50);
    hid().rescan();
    EXPECT_EQ(listener.attached.size(), 3u);
}

// The driver links its backlights to no USB interface: with monitors of one
// product the product is known; with several, the device says it is not.
TEST_F(LinuxHIDDevices, AppleDisplayDriverMonitorsOfSeveralProductsSayThePairingIsUnknown) {
    laptop.addAppleDisplay(0, 0x9226, 255, 10, false, /*port=*/10);
    laptop.addAppleDisplay(1, 0x9226, 255, 20, false, /*port=*/2);
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 2u);
    for (const char* backlight : {"appledisplay0", "appledisplay1"})
        EXPECT_NE(listener.withDescription(laptop.root() + "/sys/class/backlight/" + backlight),
                  nullptr)
            << backlight;

    laptop.addAppleDisplay(2, 0x9218, 255, 30, false, /*port=*/1);
    hid().rescan();
    ASSERT_EQ(listener.attached.size(), 3u);
    const std::string unknown =
        " (unknown which: the appledisplay driver registers its backlight without a parent "
        "device, so the kernel links it to none of the monitors' USB interfaces)";
    const std::string described = listener.attached[2]->description();
    EXPECT_TRUE(described.find(", product 0x9218 or 0x9226" + unknown) != std::string::npos ||
                described.find(", product 0x9226 or 0x9218" + unknown) != std::string::npos)
        << described;
    const std::int32_t guessed = listener.attached[2]->productID();
    EXPECT_TRUE(guessed == 0x9218 || guessed == 0x9226) << guessed;
}

// The driver's own report: 0x10, one byte, 0 to max_brightness
// (drivers/usb/misc/appledisplay.c), declared as the device's one element.
TEST_F(LinuxHIDDevices, AppleDisplayDriverMonitorSpeaksTheDriversReportOverItsBacklight) {
    laptop.addAppleDisplay(0, 0x9218, 255, 128);
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 1u);
    HIDDevice* monitor = listener.attached[0];
    EXPECT_EQ(monitor->productID(), 0x9218);
    ASSERT_EQ(monitor->elements().size(), 1u);
    const auto& field = monitor->elements()[0];
    EXPECT_EQ(field.reportID, 16u);
    EXPECT_EQ(field.reportSize, 8u);
    EXPECT_EQ(field.logicalMax, 255);

    IOReturn status;
    EXPECT_EQ(driverReport(monitor, &status), 128);
    const std::string file = laptop.backlightFile("appledisplay0", "brightness");
    for (std::uint8_t raw : {255, 0, 127, 1}) {
        ASSERT_EQ(setDriverReport(monitor, raw), kIOReturnSuccess);
        EXPECT_EQ(std::stol(readFile(file)), raw);
    }
    writeFile(file, "200\n");
    EXPECT_EQ(driverReport(monitor, &status), 200);

    std::uint8_t payload[1] = {0};
    EXPECT_NE(monitor->setReport(kIOHIDReportTypeFeature, 17, payload, 1), kIOReturnSuccess);
    writeFile(file, "garbage\n");
    driverReport(monitor, &status);
    EXPECT_NE(status, kIOReturnSuccess);

    laptop.removeAppleDisplay(0);
    ASSERT_TRUE(runUntil([&] { return listener.removed.size() == 1; }));
    EXPECT_EQ(listener.removed[0], monitor);
    EXPECT_EQ(setDriverReport(monitor, 16), kIOReturnNotAttached);
}

TEST_F(LinuxHIDDevices, AppleDisplayDriverMonitorWithoutWriteAccessIsWrittenThroughLogind) {
    laptop.addAppleDisplay(0, 0x9226, 255, 10);
    chmod(laptop.backlightFile("appledisplay0", "brightness").c_str(), 0444);
    PrivateBus bus(PrivateBus::Kind::System);
    auto logind = std::make_unique<FakeLogind>(laptop.root() + "/sys/class/backlight");
    NoFileOverride asUser;  // after the fake logind, which writes as root
    ASSERT_EQ(hid().open(&listener), kIOReturnSuccess);
    ASSERT_EQ(listener.attached.size(), 1u);
    HIDDevice* monitor = listener.attached[0];
    ASSERT_EQ(setDriverReport(monitor, 255), kIOReturnSuccess);
    auto calls = logind->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].subsystem, "backlight");
    EXPECT_EQ(calls[0].name, "appledisplay0");
    EXPECT_EQ(calls[0].value, 255u);
    IOReturn status;
    EXPECT_EQ(driverReport(monitor, &status), 255);
    logind->refuse(true);
    EXPECT_NE(setDriverReport(monitor, 0), kIOReturnSuccess);
    logind.reset();
    EXPECT_NE(setDriverReport(monitor, 0), kIOReturnSuccess);  // no logind
    EXPECT_EQ(laptop.backlightValue("appledisplay0"), 255);
}
