// Runs the engine on the Linux machine and marks stretches of its work with a
// call that nothing else makes, an access() of "/duolume-mark-<name>", so a
// system call trace of this program can be cut:
//   fade      one smoothed sync request (100 steps)
//   request   one sync request without smoothing, as the pane's slider makes it
//   end       after both
// Over a virtual laptop (built-in panel with a sysfs backlight, an Apple USB
// monitor through FUSE), or with --udev-test-bed inside the umockdev test bed
// (tests/support/udev-test-bed: the real libudev, and a change event after
// every write of the panel's brightness, as the kernel sends). There the panel
// is the only display driven, and two more marks follow:
//   heard     after the run loop has read the change events of those writes
//   plugged   after the test bed plugged its USB monitor in and the engine
//             took it
// Exit status 0 when the stretches ran, 77 when FUSE is missing, 1 otherwise.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/BrightnessController.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "support/FuseHidraw.h"
#include "support/LaptopOnLinux.h"
#include "support/UdevTestBed.h"
#include "support/Waiting.h"

using namespace testing_support;

namespace {

void mark(const char* name) {
    (void)access((std::string("/duolume-mark-") + name).c_str(), F_OK);
}

// The same brightness at every ambient level.
bool writeFlatCurve(platform::Machine& machine, double internal, double external) {
    NSDictionary settings;
    for (int level = 0; level <= 10; ++level) {
        settings[duolume::curveKeyForLevel("internal", level)] = PlistValue::real(internal);
        settings[duolume::curveKeyForLevel("external", level)] = PlistValue::real(external);
    }
    return machine.defaults().write(duolume::ProductIdentifier, settings);
}

void fadeThenRequest(platform::Machine& machine, BrightnessController* engine) {
    writeFlatCurve(machine, 0.9, 0.2);
    mark("fade");
    engine->updateDisplayBrightness(true);
    writeFlatCurve(machine, 0.3, 0.7);
    mark("request");
    engine->updateDisplayBrightness(false);
    mark("end");
}

int inUdevTestBed() {
    const char* bed = std::getenv("UDEV_TEST_BED_PID");
    if (!bed || !std::getenv("UMOCKDEV_DIR")) {
        std::fprintf(stderr, "--udev-test-bed runs inside tests/support/udev-test-bed only\n");
        return 1;
    }
    TempDir config;
    ScopedEnv xdgConfig{"XDG_CONFIG_HOME", config.path()};
    ScopedEnv noSystemBus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (config / "no-system-bus")};
    PrivateBus session;
    LoggingLinuxMachine& machine = LoggingLinuxMachine::installNew();
    if (!writeFlatCurve(machine, 0.5, 0.5))
        return 1;
    // The first sync finds the panel and keeps it.
    auto* engine = BrightnessController::sharedInstance();
    engine->updateDisplayBrightness(false);
    fadeThenRequest(machine, engine);
    const std::string panel = readFile(UdevTestBed::kBacklight);
    if (std::atol(panel.c_str()) != 5760) {  // 0.3 of 19200
        std::fprintf(stderr, "the panel holds %s, not 5760\n", panel.c_str());
        return 1;
    }

    runLoopUntil([] { return false; }, 1.0);
    mark("heard");
    ::kill(std::atoi(bed), SIGUSR1);
    if (!runLoopUntil([&] { return !engine->externalMonitors().empty(); })) {
        std::fprintf(stderr, "the test bed's monitor was not found\n");
        return 1;
    }
    mark("plugged");
    return 0;
}

int onVirtualLaptop() {
    LaptopOnLinux onLinux;
    VirtualLaptop& laptop = onLinux.laptop;
    LoggingLinuxMachine& machine = onLinux.machine;
    std::string panel = laptop.addBuiltinPanel();
    laptop.addExternalOutput();
    laptop.addConnectorBacklight("intel_backlight", panel, 19200, 9600);
    laptop.setAmbientLight(200, 90.0);
    std::string why;
    auto fuse = FuseHidraw::mount(laptop.devFolder(), &why);
    if (!fuse) {
        std::fprintf(stderr, "the virtual USB monitor needs FUSE: %s\n", why.c_str());
        return 77;
    }
    fuse->addMonitor("hidraw0", 0x8000);
    laptop.addHidrawDevice(0, 0x9226);
    if (!writeFlatCurve(machine, 0.5, 0.5))
        return 1;

    // The monitor's arrival makes a fade of its own, inside the run loop.
    auto* engine = BrightnessController::sharedInstance();
    if (!runLoopUntil([&] { return !engine->externalMonitors().empty(); }, 20.0)) {
        std::fprintf(stderr, "the virtual monitor was not found\n");
        return 1;
    }

    const std::size_t before = fuse->writes("hidraw0").size();
    fadeThenRequest(machine, engine);
    // 100 steps of the fade, then the request's one write.
    const std::size_t writes = fuse->writes("hidraw0").size() - before;
    if (writes != 101) {
        std::fprintf(stderr, "the monitor got %zu reports, not 101\n", writes);
        for (const auto& line : machine.lines)
            std::fprintf(stderr, "%s\n", line.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool inTestBed = argc > 1 && std::strcmp(argv[1], "--udev-test-bed") == 0;
    return inTestBed ? inUdevTestBed() : onVirtualLaptop();
}
