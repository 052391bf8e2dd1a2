// virtual-laptop: builds a laptop made of files in a folder and serves one
// virtual Apple USB monitor through FUSE until it is stopped. Programs run
// with PLATFORM_SYSROOT=<folder> take it for the computer they run on.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "IOKit/hid/IOHIDUsageTables.h"
#include "linux/hid/HidReportDescriptor.h"
#include "support/FuseHidraw.h"
#include "support/FuseI2cBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

using testing_support::FuseHidraw;
using testing_support::FuseI2cBus;
using testing_support::VirtualLaptop;

namespace {

const char* kUsage =
    "Usage: virtual-laptop --root DIR [options]\n"
    "\n"
    "Builds a virtual laptop in DIR (sysfs-shaped files) and serves one virtual\n"
    "Apple USB monitor on DIR/dev/hidraw0 (and, when asked, a monitor on DDC/CI\n"
    "on DIR/dev/i2c-5) through FUSE until SIGINT or SIGTERM.\n"
    "Then run programs with PLATFORM_SYSROOT=DIR.\n"
    "\n"
    "The laptop has a built-in panel (card0-eDP-1, EDID APP/0xa045) with a\n"
    "backlight, the monitor's picture on card0-DP-1 (active while there is a\n"
    "monitor) and a disconnected HDMI output. The raw value of the monitor's\n"
    "brightness field (0-65535 unless --report-descriptor says otherwise) is kept\n"
    "in DIR/monitors/hidraw0 after every write. The ambient\n"
    "light sensor is there twice (Apple SMC \"light\" and an IIO illuminance\n"
    "sensor); change the light by writing their files.\n"
    "\n"
    "Options:\n"
    "  --root DIR            folder to build the laptop in (created when missing)\n"
    "  --backlight TYPE      the panel's backlight: raw (intel_backlight, 0-19200,\n"
    "                        default), firmware (acpi_video0, 0-100) or platform\n"
    "                        (apple_backlight, 0-1023)\n"
    "  --monitor PRODUCT     the monitor's USB product ID (default 0x9226)\n"
    "  --no-monitor          no USB monitor\n"
    "  --report-descriptor FILE  the monitor's HID report descriptor (raw bytes);\n"
    "                        it answers the brightness field declared there\n"
    "                        (usage 0x82/0x10, else report 16's first data\n"
    "                        field), for example an 8-bit 0-255 monitor, or a\n"
    "                        Studio Display: --monitor 0x1114 --report-descriptor\n"
    "                        tests/data/real-data/hid/05ac-1114-asdbctl-readme.bin\n"
    "  --appledisplay PRODUCT  also a monitor claimed by the appledisplay driver\n"
    "                        (backlight appledisplay0, 0-255)\n"
    "  --ddc-monitor KIND    also a monitor on DDC/CI behind output card0-DP-5, its\n"
    "                        I2C bus served as DIR/dev/i2c-5; KIND is answering\n"
    "                        (0-100, starts at 50), slow (each transfer 100 ms),\n"
    "                        silent (acknowledges nothing), bad-checksum (replies\n"
    "                        fail their checksum) or apple (an Apple display's EDID:\n"
    "                        it must never be sent anything). Its brightness is kept\n"
    "                        in DIR/monitors/i2c-5\n"
    "  --light LEVEL         ambient light level 0-10 to start with (default 5)\n"
    "  --desktop             a desktop computer instead: no built-in panel, no\n"
    "                        backlight, no light sensor\n"
    "  --time-zone ZONE      the machine's time zone (/etc/localtime, with tzdata's\n"
    "                        zone1970.tab), for the sun's estimate of the light\n"
    "  --verbose             print every brightness the monitor receives\n"
    "  --help                this text\n"
    "\n"
    "Prints \"ready\" on its own line once everything is in place.\n";

struct Options {
    std::string root;
    std::string backlight = "raw";
    long monitor = 0x9226;
    long appledisplay = 0;
    double light = 5.0;
    bool verbose = false;
    std::string descriptorFile;
    std::string ddcMonitor;
    bool desktop = false;
    std::string timeZone;
};

bool parse(int argc, char** argv, Options* o) {
    const std::set<std::string> withValue = {"--root",         "--backlight", "--monitor",
                                             "--appledisplay", "--light",     "--report-descriptor",
                                             "--ddc-monitor",  "--time-zone"};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = nullptr;
        if (withValue.count(a)) {
            if (i + 1 == argc)
                return false;
            v = argv[++i];
        }
        char* end = nullptr;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--root") {
            o->root = v;
        } else if (a == "--backlight") {
            o->backlight = v;
            if (o->backlight != "raw" && o->backlight != "firmware" && o->backlight != "platform")
                return false;
        } else if (a == "--monitor" || a == "--appledisplay") {
            long product = std::strtol(v, &end, 0);
            if (*end || product <= 0 || product > 0xFFFF)
                return false;
            (a == "--monitor" ? o->monitor : o->appledisplay) = product;
        } else if (a == "--light") {
            o->light = std::strtod(v, &end);
            if (*end || !(o->light >= 0.0 && o->light <= 10.0))
                return false;
        } else if (a == "--report-descriptor") {
            o->descriptorFile = v;
        } else if (a == "--ddc-monitor") {
            o->ddcMonitor = v;
            if (o->ddcMonitor != "answering" && o->ddcMonitor != "slow" &&
                o->ddcMonitor != "silent" && o->ddcMonitor != "bad-checksum" &&
                o->ddcMonitor != "apple")
                return false;
        } else if (a == "--time-zone") {
            o->timeZone = v;
        } else if (a == "--desktop") {
            o->desktop = true;
        } else if (a == "--no-monitor") {
            o->monitor = 0;
        } else if (a == "--verbose") {
            o->verbose = true;
        } else {
            return false;
        }
    }
    return !o->root.empty();
}

void build(VirtualLaptop& laptop, const Options& o) {
    if (!o.timeZone.empty())
        laptop.setTimeZone(o.timeZone);
    if (o.desktop) {
        if (o.monitor || o.appledisplay)
            laptop.addExternalOutput();
        return;
    }
    std::string builtin = laptop.addBuiltinPanel();
    if (o.monitor || o.appledisplay)
        laptop.addExternalOutput();
    VirtualLaptop::Connector hdmi;
    hdmi.name = "HDMI-A-1";
    hdmi.connected = false;
    hdmi.enabled = false;
    hdmi.connectorId = 86;
    laptop.addConnector(hdmi);
    if (o.backlight == "firmware") {
        laptop.addCardBacklight("acpi_video0", "firmware", 0, 100, 50);
    } else if (o.backlight == "platform") {
        laptop.addPlatformBacklight("apple_backlight", 1023, 512);
    } else {
        laptop.addConnectorBacklight("intel_backlight", builtin, 19200, 9600);
    }
    if (o.appledisplay)
        laptop.addAppleDisplay(0, static_cast<std::uint16_t>(o.appledisplay));
    // Sensor values that give the level on either kind of sensor: the SMC's
    // 8-bit pair as level x 25.5, the IIO sensor as ln(lux + 1).
    laptop.setAmbientLight(VirtualLaptop::smcLightForLevel(o.light), std::exp(o.light) - 1.0);
}

// The brightness field a descriptor declares, where the monitor keeps it.
std::optional<FuseHidraw::Field> declaredField(const std::vector<std::uint8_t>& descriptor,
                                               std::string* what, std::uint32_t* minimum) {
    auto elements = platform::linux_machine::hidReportElements(descriptor);
    const __IOHIDElement* chosen = nullptr;
    for (const auto& e : elements) {
        if (e.type == kIOHIDElementTypeFeature && e.usagePage == kHIDPage_MonitorVirtual &&
            e.usage == kHIDUsage_VESA_Brightness) {
            chosen = &e;
            break;
        }
    }
    for (const auto& e : elements) {
        if (!chosen && e.type == kIOHIDElementTypeFeature && e.reportID == 16 && !e.constant)
            chosen = &e;
    }
    if (!chosen || chosen->reportSize * chosen->reportCount > 32)
        return std::nullopt;
    FuseHidraw::Field field;
    field.reportID = static_cast<std::uint8_t>(chosen->reportID);
    unsigned total = 0;
    for (const auto& e : elements) {
        if (e.type != kIOHIDElementTypeFeature || e.reportID != chosen->reportID)
            continue;
        if (&e == chosen)
            field.bitOffset = total;
        total += e.reportSize * e.reportCount;
    }
    field.payloadBytes = (total + 7) / 8;
    field.bits = chosen->reportSize * chosen->reportCount;
    *minimum = static_cast<std::uint32_t>(std::max<CFIndex>(chosen->logicalMin, 0));
    *what = "feature report " + std::to_string(field.reportID) + ", " + std::to_string(field.bits) +
            " bits, " + std::to_string(chosen->logicalMin) + " to " +
            std::to_string(chosen->logicalMax);
    return field;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, &o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Signals are waited for, not handled, so the file system is unmounted
    // on the way out.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    std::filesystem::create_directories(o.root);
    o.root = std::filesystem::canonical(o.root).string();
    VirtualLaptop laptop(o.root);
    build(laptop, o);

    std::unique_ptr<FuseHidraw> fuse;
    std::string why;
    if (o.monitor || !o.ddcMonitor.empty())
        fuse = FuseHidraw::mount(laptop.devFolder(), &why);
    if (!fuse && (o.monitor || !o.ddcMonitor.empty()))
        std::fprintf(stderr, "virtual-laptop: no virtual monitors: %s\n", why.c_str());
    if (o.monitor && fuse) {
        const std::string state = o.root + "/monitors/hidraw0";
        FuseHidraw::Field field;
        std::uint32_t start = 32768;
        auto descriptor = VirtualLaptop::appleMonitorDescriptor();
        if (!o.descriptorFile.empty()) {
            std::ifstream in(o.descriptorFile, std::ios::binary);
            descriptor.assign(std::istreambuf_iterator<char>(in), {});
            std::string what;
            if (auto declared = declaredField(descriptor, &what, &start)) {
                field = *declared;
                std::printf("monitor brightness field: %s\n", what.c_str());
            } else {
                std::fprintf(stderr,
                             "virtual-laptop: %s declares no brightness field; the "
                             "monitor answers report 16 with 16 bits\n",
                             o.descriptorFile.c_str());
            }
        }
        testing_support::writeFile(state, std::to_string(start) + "\n");
        fuse->onWrite([state, verbose = o.verbose](const std::string& node, std::uint32_t value) {
            testing_support::writeFile(state, std::to_string(value) + "\n");
            if (verbose)
                std::printf("%s brightness field %u\n", node.c_str(), value);
            std::fflush(stdout);
        });
        fuse->addMonitor("hidraw0", field, start);
        laptop.addHidrawDevice(0, static_cast<std::uint16_t>(o.monitor), descriptor);
    }
    std::shared_ptr<FuseI2cBus> ddc;
    std::atomic<bool> stopping{false};
    std::thread ddcState;
    if (fuse && !o.ddcMonitor.empty()) {
        ddc = std::make_shared<FuseI2cBus>(o.ddcMonitor == "slow" ? 0.1 : 0.0);
        {
            auto lock = ddc->lock();
            using Behaviour = platform::sim::SimDdcMonitor::Behaviour;
            if (o.ddcMonitor == "silent")
                ddc->monitor().behaviour = Behaviour::Silent;
            if (o.ddcMonitor == "bad-checksum")
                ddc->monitor().behaviour = Behaviour::BadChecksum;
        }
        fuse->addNode("i2c-5", ddc);
        const bool apple = o.ddcMonitor == "apple";
        laptop.addDdcMonitor("DP-5", 5,
                             apple ? VirtualLaptop::makeEdid("APP", 0x9227, 1, "Thunderbolt")
                                   : VirtualLaptop::makeEdid("DEL", 0xA0BA, 1, "DELL U2415"));
        // What the monitor holds, kept in a file as it changes.
        ddcState = std::thread([&, state = o.root + "/monitors/i2c-5"] {
            int shown = -1, messages = 0;
            while (!stopping) {
                int now = 0, received = 0;
                {
                    auto lock = ddc->lock();
                    now = ddc->monitor().current;
                    received = static_cast<int>(ddc->monitor().messages.size());
                }
                if (now != shown || received != messages) {
                    testing_support::writeFile(state, std::to_string(now) + "\n");
                    if (o.verbose && received != messages)
                        std::printf("i2c-5 brightness %d (%d messages received)\n", now, received);
                    std::fflush(stdout);
                    shown = now;
                    messages = received;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    std::printf("ready\nPLATFORM_SYSROOT=%s\n", o.root.c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    stopping = true;
    if (ddcState.joinable())
        ddcState.join();
    if (ddc)
        laptop.removeDdcMonitor("card0-DP-5", 5);
    if (fuse && o.monitor)
        laptop.removeHidrawDevice(0);
    return 0;
}
