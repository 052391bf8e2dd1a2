// Runs the engine on the Linux machine over a virtual laptop (built-in panel
// with a sysfs backlight, an Apple USB monitor through FUSE) and marks three
// stretches of its work with a call that nothing else makes, an access() of
// "/duolume-mark-<name>", so a system call trace of this program can be cut:
//   fade      one smoothed sync request (100 steps)
//   request   one sync request without smoothing, as the pane's slider makes it
//   end       after both
// Exit status 0 when the stretches ran, 77 when FUSE is missing, 1 otherwise.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/BrightnessController.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "support/FuseHidraw.h"
#include "support/LaptopOnLinux.h"
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

}  // namespace

int main() {
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
    writeFlatCurve(machine, 0.9, 0.2);
    mark("fade");
    engine->updateDisplayBrightness(true);
    writeFlatCurve(machine, 0.3, 0.7);
    mark("request");
    engine->updateDisplayBrightness(false);
    mark("end");
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
