#include "support/UdevTestBed.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/VirtualLaptop.h"

namespace testing_support {
namespace {

const char* const kWrapper = "/usr/bin/umockdev-wrapper";
const char* const kPython = "/usr/bin/python3";
const std::string kHelper = DUOLUME_SOURCE_DIR "/tests/support/udev-test-bed";
const std::string kEdids = DUOLUME_SOURCE_DIR "/tests/data/real-data/edid/";

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (auto b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string edidHex(const std::string& file) {
    std::ifstream in(kEdids + file, std::ios::binary);
    return hex({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

// The MacBook panel (APP9C21) and the LED Cinema Display (APP9226), with the
// EDIDs their owners recorded.
std::string machineRecord() {
    const std::string gpu = "/devices/pci0000:00/0000:00:02.0";
    return "P: " + gpu +
           "\nE: DRIVER=i915\nE: PCI_ID=8086:9A49\nE: SUBSYSTEM=pci\n"
           "A: class=0x030000\nA: vendor=0x8086\nA: device=0x9a49\n\n"
           "P: " +
           gpu +
           "/drm/card0\nN: dri/card0\nE: DEVTYPE=drm_minor\nE: SUBSYSTEM=drm\n"
           "L: device=../../../0000:00:02.0\n\n"
           "P: " +
           gpu +
           "/drm/card0/card0-eDP-1\nE: DEVTYPE=drm_connector\nE: SUBSYSTEM=drm\n"
           "A: status=connected\nA: enabled=enabled\nA: dpms=On\n"
           "H: edid=" +
           edidHex("APP9C21-ACBE4B18DC37.bin") +
           "\nL: device=../../card0\n\n"
           "P: " +
           gpu +
           "/drm/card0/card0-eDP-1/intel_backlight\nE: SUBSYSTEM=backlight\n"
           "A: brightness=9600\nA: actual_brightness=9600\nA: max_brightness=19200\n"
           "A: type=raw\nA: bl_power=0\nL: device=../../card0-eDP-1\n\n"
           "P: " +
           gpu +
           "/drm/card0/card0-DP-1\nE: DEVTYPE=drm_connector\nE: SUBSYSTEM=drm\n"
           "A: status=connected\nA: enabled=enabled\nA: dpms=On\n"
           "H: edid=" +
           edidHex("APP9226-2A28E711B9BA.bin") +
           "\nL: device=../../card0\n\n"
           // The card's own I2C bus for that output, as i915's gmbus adapters
           // sit below the PCI device, with its i2c-dev node.
           "P: " +
           gpu +
           "/i2c-5\nE: SUBSYSTEM=i2c\nA: name=i915 gmbus dpb\n\n"
           "P: " +
           gpu +
           "/i2c-5/i2c-dev/i2c-5\nN: i2c-5\nE: DEVNAME=/dev/i2c-5\nE: SUBSYSTEM=i2c-dev\n"
           "A: name=i915 gmbus dpb\nA: dev=89:5\n\n"
           "P: /devices/pci0000:00/0000:00:14.0\nE: DRIVER=xhci_hcd\nE: SUBSYSTEM=pci\n"
           "A: class=0x0c0330\nA: vendor=0x8086\n\n"
           "P: /devices/pci0000:00/0000:00:14.0/usb1\nN: bus/usb/001/001\n"
           "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\n"
           "A: idVendor=1d6b\nA: idProduct=0002\nA: busnum=1\nA: devnum=1\n\n"
           "P: /devices/platform/applesmc.768\nE: DRIVER=applesmc\nE: MODALIAS=platform:applesmc\n"
           "E: SUBSYSTEM=platform\nA: light=(20,20)\n\n"
           "P: /devices/platform/ACPI0008:00/iio:device0\nE: DEVTYPE=iio_device\n"
           "E: SUBSYSTEM=iio\nA: name=als\nA: in_illuminance_input=100\n";
}

std::string monitorRecord() {
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const std::string hid = usb + "/1-2:1.0/0003:05AC:9226.@SEQ@";
    return "P: " + usb +
           "\nN: bus/usb/001/003\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\n"
           "E: PRODUCT=5ac/9226/115\nA: idVendor=05ac\nA: idProduct=9226\nA: busnum=1\n"
           "A: devnum=3\nA: manufacturer=Apple Inc.\n\n"
           "P: " +
           usb +
           "/1-2:1.0\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\n"
           "E: SUBSYSTEM=usb\nE: INTERFACE=3/0/0\nA: bInterfaceClass=03\n"
           "A: bInterfaceNumber=00\n\n"
           "P: " +
           hid +
           "\nE: DRIVER=hid-generic\nE: HID_ID=0003:000005AC:00009226\n"
           "E: HID_NAME=Apple Inc. Apple LED Cinema Display\n"
           "E: HID_PHYS=usb-0000:00:14.0-2/input0\nE: MODALIAS=hid:b0003g0001v000005ACp00009226\n"
           "E: SUBSYSTEM=hid\nH: report_descriptor=" +
           hex(VirtualLaptop::appleMonitorDescriptor()) +
           "\n\n"
           "P: " +
           hid +
           "/hidraw/hidraw@NODE@\nN: hidraw@NODE@\nE: DEVNAME=/dev/hidraw@NODE@\n"
           "E: SUBSYSTEM=hidraw\nL: device=../../../0003:05AC:9226.@SEQ@\n";
}

}  // namespace

std::string UdevTestBed::whyNotRunnable() {
    if (::access(kWrapper, X_OK) != 0)
        return std::string(kWrapper) + " is not installed (Debian package umockdev)";
    if (ChildProcess::run({kPython, "-c",
                           "import gi; gi.require_version('UMockdev', '1.0'); "
                           "from gi.repository import UMockdev"},
                          {}) != 0)
        return "umockdev's GObject introspection data is not installed (Debian packages "
               "gir1.2-umockdev-1.0, python3-gi)";
    return {};
}

UdevTestBed::UdevTestBed() {
    writeFile(dir_ / "machine.umockdev", machineRecord());
    writeFile(dir_ / "monitor.umockdev", monitorRecord());
}

UdevTestBed::~UdevTestBed() {
    if (process_ && process_->running()) {
        process_->signal(SIGTERM);
        if (!process_->wait(10.0))
            process_->signal(SIGKILL);
    }
}

bool UdevTestBed::run(const std::vector<std::string>& argv,
                      std::map<std::string, std::optional<std::string>> environment,
                      std::string* why) {
    std::vector<std::string> command = {
        kWrapper, kPython, kHelper, dir_ / "machine.umockdev", dir_ / "monitor.umockdev", "--"};
    command.insert(command.end(), argv.begin(), argv.end());
    environment["PLATFORM_SYSROOT"] = std::nullopt;
    // The sanitizer runtime need not come first: umockdev's library is preloaded.
    environment["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0";
    process_ = std::make_unique<ChildProcess>(command, environment);
    if (!waitForOutput("test bed: /")) {
        *why = "the umockdev test bed did not come up: " + process_->standardError();
        return false;
    }
    auto out = process_->standardOutput();
    auto start = out.find("test bed: /") + 10;
    root_ = out.substr(start, out.find('\n', start) - start);
    return true;
}

bool UdevTestBed::plugMonitor(bool in) {
    process_->signal(in ? SIGUSR1 : SIGUSR2);
    int& count = in ? plugs_ : unplugs_;
    ++count;
    const std::string line = in ? "test bed: plugged in" : "test bed: unplugged";
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        auto out = process_->standardOutput();
        int seen = 0;
        for (auto at = out.find(line); at != std::string::npos; at = out.find(line, at + 1))
            ++seen;
        if (seen >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool UdevTestBed::waitForOutput(const std::string& line) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end && process_->running()) {
        if (process_->standardOutput().find(line) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return process_->standardOutput().find(line) != std::string::npos;
}

}  // namespace testing_support
