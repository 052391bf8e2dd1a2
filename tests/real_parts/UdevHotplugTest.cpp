// Device events and USB monitor hot-plug through the real libudev: the agent runs in a umockdev
// test bed of a real laptop's sysfs layout, without PLATFORM_SYSROOT, so its
// watcher listens to udev's netlink monitor as it does on a user's machine,
// and the test bed's uevents plug an Apple monitor in and out. umockdev
// emulates no hidraw ioctls, so attach and detach are checked by the log and
// the smoothed sync request each attach makes (the agent), and by the engine's
// monitor set (the engine's watcher in this program, run in the test bed).
// The panel's backlight changed by its firmware or by another program reaches
// a program registered for such changes by the kernel's change events.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "CoreFoundation/CFDictionary.h"
#include "CoreFoundation/CFRunLoop.h"
#include "CoreGraphics/CGDirectDisplay.h"
#include "DisplayServices/DisplayServices.h"
#include "engine/BrightnessController.h"
#include "linux/LinuxMachine.h"
#include "linux/ddc/LinuxAVServices.h"
#include "linux/devices/DeviceEvents.h"
#include "machine/AVServiceBackend.h"
#include "settings/SettingsStore.h"
#include "support/AgentProgram.h"
#include "support/LoggingLinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/UdevTestBed.h"
#include "support/Waiting.h"

using namespace testing_support;

namespace {

const char* const kAttachLine = "USB monitor 0x9226 attached";

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(UdevHotplug, AgentAttachesAndDetachesTheMonitorThroughLibudev) {
    auto why = UdevTestBed::whyNotRunnable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
    ScopedEnv noSystemBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir / "no-system-bus"));
    PrivateBus session;
    platform::linux_machine::LinuxMachine::installNew();
    auto settings = duolume::initialSettings();
    settings["enabled"] = PlistValue::integer(1);
    duolume::writeInitialSettings(settings);

    UdevTestBed bed;
    ASSERT_TRUE(bed.run({kAgentProgram}, {{"PLATFORM_LOG_STDERR", "1"}}, &why)) << why;
    auto log = [&] { return bed.process().standardError(); };
    auto backlight = [&] {
        return std::atol(readFile(bed.sysFile(UdevTestBed::kBacklight)).c_str());
    };
    ASSERT_TRUE(waitFor([&] { return log().find("Light level ") != std::string::npos; })) << log();
    EXPECT_EQ(log().find("hot-plug is not watched"), std::string::npos) << log();
    EXPECT_EQ(log().find("USB monitor 0x9226"), std::string::npos) << log();
    const long onCurve = backlight();

    // Each attach brings the monitor onto the curve; the panel, which
    // someone else set meanwhile, keeps that person's value.
    for (int round = 1; round <= 2; ++round) {
        writeFile(bed.sysFile(UdevTestBed::kBacklight), "100\n");
        ASSERT_TRUE(bed.plugMonitor(true)) << bed.process().standardOutput() << log();
        EXPECT_TRUE(waitFor([&] { return occurrences(log(), kAttachLine) == round; })) << log();
        EXPECT_TRUE(waitFor([&] {
            return occurrences(log(), "(monitor joined, fading)") == round;
        })) << log();
        EXPECT_EQ(backlight(), 100) << "on the curve " << onCurve << "\n" << log();
        EXPECT_EQ(occurrences(log(), "Built-in display: held at 1 %"), 1) << log();
        ASSERT_TRUE(bed.plugMonitor(false)) << bed.process().standardOutput() << log();
    }
    bed.process().signal(SIGTERM);
    EXPECT_EQ(bed.process().wait(10.0), 0) << log();
}

// Runs the test UdevHotplugInTestBed.DISABLED_<name> of this program once
// more, inside the test bed; it plugs the monitor by signalling the test bed,
// its parent.
void runInTestBed(const std::string& name) {
    auto why = UdevTestBed::whyNotRunnable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TempDir dir;
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    UdevTestBed bed;
    ASSERT_TRUE(bed.run({self, "--gtest_also_run_disabled_tests",
                         "--gtest_filter=UdevHotplugInTestBed.DISABLED_" + name},
                        {{"XDG_CONFIG_HOME", dir / "config"},
                         {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir / "no-system-bus")}},
                        &why))
        << why;
    EXPECT_EQ(bed.process().wait(60.0), 0)
        << bed.process().standardOutput() << bed.process().standardError();
}

TEST(UdevHotplug, EngineWatcherAttachesAndDetachesThroughLibudev) {
    runInTestBed("EngineWatcher");
}

TEST(UdevHotplug, DeviceEventsSayWhatHappenedThroughLibudev) {
    runInTestBed("DeviceEvents");
}

TEST(UdevHotplug, MonitorOnAFixedOutputReachesTheDdcWatchThroughLibudev) {
    runInTestBed("FixedOutput");
}

TEST(UdevHotplug, PanelChangedByOthersIsHeardThroughLibudev) {
    runInTestBed("PanelChangedByOthers");
}

TEST(UdevHotplugInTestBed, DISABLED_EngineWatcher) {
    ASSERT_NE(std::getenv("UMOCKDEV_DIR"), nullptr) << "runs inside a umockdev test bed only";
    ASSERT_EQ(std::getenv("PLATFORM_SYSROOT"), nullptr);
    auto& machine = LoggingLinuxMachine::installNew();
    auto* engine = BrightnessController::sharedInstance();
    auto runUntil = [](const std::function<bool()>& done) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < end)
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, true);
        return done();
    };
    EXPECT_TRUE(engine->externalMonitors().empty());
    EXPECT_FALSE(machine.logged("hot-plug is not watched"));
    std::vector<std::string> nodes;
    for (int round = 0; round < 2; ++round) {
        ::kill(::getppid(), SIGUSR1);
        EXPECT_TRUE(runUntil([&] { return engine->externalMonitors().size() == 1; }));
        for (IOHIDDeviceRef monitor : engine->externalMonitors())
            nodes.push_back(monitor->description());
        ::kill(::getppid(), SIGUSR2);
        EXPECT_TRUE(runUntil([&] { return engine->externalMonitors().empty(); }));
    }
    // The kernel gave the second plug a node of its own.
    EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw1"}));
}

TEST(UdevHotplugInTestBed, DISABLED_DeviceEvents) {
    using platform::linux_machine::DeviceEvent;
    using Action = DeviceEvent::Action;
    ASSERT_NE(std::getenv("UMOCKDEV_DIR"), nullptr) << "runs inside a umockdev test bed only";
    std::string why;
    auto events = platform::linux_machine::DeviceEvents::open({"backlight", "hidraw"}, false, &why);
    ASSERT_TRUE(events) << why;
    // What arrives within a while, until `last` has.
    auto until = [&](Action last) {
        std::vector<DeviceEvent> got;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end &&
               (got.empty() || got.back().action != last)) {
            pollfd readable{events->fd(), POLLIN, 0};
            ::poll(&readable, 1, 100);
            for (auto& e : events->read())
                got.push_back(std::move(e));
        }
        return got;
    };

    // One write of the panel's brightness: the kernel's change, from sysfs,
    // which tells of no device coming or going.
    int fd = ::open(UdevTestBed::kBacklight, O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "100\n", 4), 4);
    ::close(fd);
    auto changed = until(Action::Change);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].subsystem, "backlight");
    EXPECT_EQ(changed[0].name, "intel_backlight");
    EXPECT_EQ(changed[0].property("SOURCE"), "sysfs");
    EXPECT_FALSE(changed[0].comesOrGoes());

    // The monitor's hidraw node comes and goes; its USB and HID devices are
    // of other subsystems.
    ::kill(::getppid(), SIGUSR1);
    auto plugged = until(Action::Add);
    ASSERT_EQ(plugged.size(), 1u);
    EXPECT_EQ(plugged[0].subsystem, "hidraw");
    EXPECT_EQ(plugged[0].name, "hidraw0");
    EXPECT_TRUE(plugged[0].comesOrGoes());
    ::kill(::getppid(), SIGUSR2);
    auto unplugged = until(Action::Remove);
    ASSERT_EQ(unplugged.size(), 1u);
    EXPECT_EQ(unplugged[0].name, "hidraw0");
}

// A monitor plugged into a fixed output, whose connector and DDC bus were
// there all along: the card's change with HOTPLUG=1 tells of it
// (drm_sysfs_hotplug_event, drivers/gpu/drm/drm_sysfs.c). Another change of
// the card (a lease, LEASE=1, drm_sysfs_lease_event) has the outputs looked
// at no more than a write of the panel's brightness does.
TEST(UdevHotplugInTestBed, DISABLED_FixedOutput) {
    const char* bed = std::getenv("UMOCKDEV_DIR");
    ASSERT_NE(bed, nullptr) << "runs inside a umockdev test bed only";
    const std::string root = bed;
    const std::string card = "/sys/devices/pci0000:00/0000:00:02.0/drm/card0";
    const std::string output = root + card + "/card0-DP-1";
    ASSERT_EQ(::symlink("../../../i2c-5", (output + "/ddc").c_str()), 0);
    writeFile(output + "/status", "disconnected\n");
    LoggingLinuxMachine::installNew();
    struct Arrivals : platform::AVServiceBackend::Listener {
        std::size_t count = 0;
        void servicesArrived(const std::vector<io_service_t>& s) override { count += s.size(); }
        void servicesRemoved(const std::vector<io_service_t>&) override {}
    } arrivals;
    platform::linux_machine::LinuxAVServices services;
    services.addListener(&arrivals);
    EXPECT_TRUE(services.services().empty());
    auto ask = [&](const std::string& uevent) {
        writeFile(root + "/uevents-asked", uevent + "\n");
        ::kill(::getppid(), SIGHUP);
    };

    writeFile(output + "/status", "connected\n");
    ask("change " + card + " LEASE=1");
    runLoopUntil([] { return false; }, 0.5);
    EXPECT_EQ(arrivals.count, 0u);
    ask("change " + card + " HOTPLUG=1");
    EXPECT_TRUE(runLoopUntil([&] { return arrivals.count == 1; }));
    services.removeListener(&arrivals);
}

// The kernel's change event of the panel's backlight: SOURCE=hotkey when its
// firmware changed it, SOURCE=sysfs after any write of its brightness file,
// this program's own included (drivers/video/backlight/backlight.c).
TEST(UdevHotplugInTestBed, DISABLED_PanelChangedByOthers) {
    const char* bed = std::getenv("UMOCKDEV_DIR");
    ASSERT_NE(bed, nullptr) << "runs inside a umockdev test bed only";
    const std::string root = bed;
    const std::string backlight =
        "/sys/devices/pci0000:00/0000:00:02.0/drm/card0/card0-eDP-1/intel_backlight";
    ScopedEnv noSessionBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root + "/no-session-bus");
    LoggingLinuxMachine::installNew();
    CGDirectDisplayID panel = 0;
    CGDirectDisplayID displays[2] = {};
    CGDisplayCount count = 0;
    ASSERT_EQ(CGGetActiveDisplayList(2, displays, &count), kCGErrorSuccess);
    for (CGDisplayCount i = 0; i < count; ++i) {
        if (CGDisplayIsBuiltin(displays[i]))
            panel = displays[i];
    }
    ASSERT_NE(panel, 0u);
    std::vector<double> heard;
    auto listen = [&] {
        return DisplayServicesRegisterForBrightnessChangeNotifications(
            panel, 7, [&](CGDirectDisplayID, CFDictionaryRef info) {
                const PlistValue* value = nullptr;
                ASSERT_TRUE(CFDictionaryGetValueIfPresent(info, kDisplayServicesBrightnessValueKey,
                                                          &value));
                heard.push_back(value->doubleValue().value_or(-1.0));
            });
    };
    auto hotkey = [&](int raw) {
        writeFile(root + "/uevents-asked",
                  "hotkey " + backlight + " " + std::to_string(raw) + "\n");
        ::kill(::getppid(), SIGHUP);
    };
    // One write, as the kernel takes it: a truncation is no write of sysfs.
    auto anotherProgramWrites = [&](int raw) {
        const std::string text = std::to_string(raw) + "\n";
        int fd = ::open((backlight + "/brightness").c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
    };
    auto quietWhile = [](double seconds) { runLoopUntil([] { return false; }, seconds); };
    auto heardNow = [&](std::size_t n) { return runLoopUntil([&] { return heard.size() == n; }); };

    // Nobody listens yet: what happens now is told to nobody later.
    anotherProgramWrites(1920);
    quietWhile(0.3);
    ASSERT_EQ(listen(), 0);
    quietWhile(0.3);
    EXPECT_TRUE(heard.empty());

    // A fade of this program's own (its writes' events read after the fade,
    // and by the next sync's check of the devices) is no one else's change.
    for (int step = 1; step <= 20; ++step)
        ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.3f + 0.02f * step), 0);
    quietWhile(0.5);
    ASSERT_EQ(CGGetActiveDisplayList(2, displays, &count), kCGErrorSuccess);
    quietWhile(0.3);
    EXPECT_TRUE(heard.empty());

    // Another program's write, then the firmware's, also to the very value
    // this program last wrote (0.7 of 19200).
    anotherProgramWrites(4800);
    ASSERT_TRUE(heardNow(1));
    EXPECT_FLOAT_EQ(heard[0], 0.25);
    hotkey(9600);
    ASSERT_TRUE(heardNow(2));
    EXPECT_FLOAT_EQ(heard[1], 0.5);
    ASSERT_EQ(DisplayServicesSetBrightness(panel, 0.7f), 0);
    quietWhile(0.3);
    hotkey(13440);
    ASSERT_TRUE(heardNow(3));
    EXPECT_NEAR(heard[2], 0.7, 1e-6);

    // A write whose event the sync's check of the devices reads first, while
    // the run loop is busy elsewhere.
    anotherProgramWrites(2880);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(CGGetActiveDisplayList(2, displays, &count), kCGErrorSuccess);
    ASSERT_TRUE(heardNow(4));
    EXPECT_FLOAT_EQ(heard[3], 0.15);
    quietWhile(0.3);
    EXPECT_EQ(heard.size(), 4u);

    // No one listens any more.
    ASSERT_EQ(DisplayServicesUnregisterForBrightnessChangeNotifications(panel, 7), 0);
    anotherProgramWrites(960);
    hotkey(1920);
    quietWhile(0.5);
    EXPECT_EQ(heard.size(), 4u);
}
