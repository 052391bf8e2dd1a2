// A day of changing light through each desktop's route, the agent as its own
// process under strace: how many holds its own writes started (goal 0), and
// how many of its writes reached the backlight behind a desktop service
// (goal 0), per route. The desktops are our fakes written from their sources
// (tests/support/desktop-fakes) and, where this machine can run it, the real
// gnome-settings-daemon power plug-in (tests/real_parts/RealGsdPower.h).
//
//   build/bin/desktop_day [--hours N]    (default 24: one light change an hour)
//
// The light follows the sun, 0 at night to 9 at noon, with a cloud of 0.3 of a
// level every third hour; each hour gets 3 s, enough for the sensor's 1 s
// poll and a 1 s fade.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "base/PropertyList.h"
#include "real_parts/RealGsdPower.h"
#include "settings/SettingsStore.h"
#include "support/ChildProcess.h"
#include "support/DesktopService.h"
#include "support/LoggingLinuxMachine.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"
#include "support/Waiting.h"

using namespace testing_support;

namespace {

const char* const kAgent =
    DUOLUME_BINARY_DIR "/Duolume.prefPane/Contents/Resources/Duolume.app/Contents/MacOS/Duolume";
constexpr long kMax = 19200;

struct Route {
    const char* name;
    std::optional<DesktopService::Kind> kind;  // none: the real gsd-power
    std::map<std::string, std::string> parameters;
};

struct Figures {
    int lightChanges = 0;
    int holds = 0;
    int directWrites = 0;
    std::size_t valuesSent = 0;
};

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

int backlightWrites(const std::string& trace) {
    static const std::regex write(R"(pwrite64\(\d+, "\d+\\n", \d+, 0\))");
    const std::string text = readFile(trace);
    return static_cast<int>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), write), {}));
}

pid_t childOf(pid_t parent) {
    const std::string p = std::to_string(parent);
    return static_cast<pid_t>(
        std::atoi(readFile("/proc/" + p + "/task/" + p + "/children").c_str()));
}

double levelAt(int hour, int hours) {
    const double sun = std::max(0.0, std::sin(M_PI * (hour - hours / 4.0) / (hours / 2.0)));
    return 9.0 * sun + (hour % 3 == 2 ? -0.3 : 0.0) + 0.001 * hour;
}

// One day through `route`; `why` says why it could not run.
std::optional<Figures> day(const Route& route, int hours, std::string* why) {
    TempDir dir;
    PrivateBus session;
    PrivateBus system{PrivateBus::Kind::System};
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    std::unique_ptr<VirtualLaptop> laptop;
    std::unique_ptr<DesktopService> service;
    std::unique_ptr<RealGsdPower> gsd;
    std::function<void(double)> setLux;
    std::string root;
    if (route.kind) {
        laptop = std::make_unique<VirtualLaptop>(dir / "laptop");
        laptop->addConnectorBacklight("intel_backlight", laptop->addBuiltinPanel(), kMax, kMax / 2);
        auto parameters = route.parameters;
        parameters["backlight"] = laptop->backlightFile("intel_backlight", "brightness");
        parameters["max"] = std::to_string(kMax);
        service = std::make_unique<DesktopService>(*route.kind, parameters);
        setLux = [&](double lux) {
            laptop->setAmbientLight(VirtualLaptop::smcLightForLevel(std::log(lux + 1.0)), lux);
        };
        root = laptop->root();
    } else {
        *why = RealGsdPower::whyNotRunnable();
        if (!why->empty())
            return std::nullopt;
        gsd = std::make_unique<RealGsdPower>(1000, 500);
        if (!gsd->start(why))
            return std::nullopt;
        setLux = [&](double lux) { gsd->setLux(lux); };
        root = gsd->root();
    }
    LoggingLinuxMachine::installNew();
    auto settings = duolume::initialSettings();
    settings["enabled"] = PlistValue::integer(1);
    duolume::writeInitialSettings(settings);
    setLux(std::exp(levelAt(0, hours)) - 1.0);
    const std::string trace = dir / "agent.strace";
    ChildProcess agent(
        {"/usr/bin/strace", "-f", "-qq", "-e", "trace=pwrite64", "-o", trace, kAgent},
        {{"PLATFORM_SYSROOT", root},
         {"PLATFORM_LOG_STDERR", "1"},
         {"GSETTINGS_BACKEND", "memory"},
         {"WAYLAND_DISPLAY", dir / "no-wayland-display"}});
    if (!waitFor([&] { return agent.standardError().find("is set through") != std::string::npos; },
                 20.0)) {
        *why = "the agent took no desktop route: " + agent.standardError();
        return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    for (int hour = 1; hour <= hours; ++hour) {
        setLux(std::exp(levelAt(hour, hours)) - 1.0);
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }
    Figures f;
    const std::string log = agent.standardError();
    f.lightChanges = count(log, "(light changed");
    f.holds = count(log, "held at");
    f.directWrites = backlightWrites(trace);
    if (service) {
        for (const char* method :
             {"SetBrightnessWithContext", "setBrightnessSilent", "SetBacklight", "Set"}) {
            const char* path = std::string(method) == "SetBrightnessWithContext"
                                   ? "/org/kde/ScreenBrightness/display1"
                                   : "";
            f.valuesSent += service->calls(method, path).size();
        }
    }
    ::kill(childOf(agent.pid()), SIGTERM);
    agent.wait(10.0);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    int hours = 24;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--hours")
            hours = std::max(2, std::atoi(argv[i + 1]));
    }
    std::string why;
    if (!DesktopService::available(&why) || ::access("/usr/bin/strace", X_OK) != 0) {
        std::fprintf(stderr, "desktop_day: needs python3-dbusmock and strace: %s\n", why.c_str());
        return 1;
    }
    const Route routes[] = {
        {"Plasma 6.2+, backlight (fake)", DesktopService::Kind::PlasmaScreenBrightness, {}},
        {"Plasma 6.2+, KWin's panel (fake)",
         DesktopService::Kind::PlasmaScreenBrightness,
         {{"kwin_panel", "true"}}},
        {"Plasma 5.27 (fake)", DesktopService::Kind::PlasmaPowerManagement, {}},
        {"GNOME 49.0, mutter and shell (fake)",
         DesktopService::Kind::MutterDisplayConfig,
         {{"shell", "49.0"}}},
        {"GNOME 49.3+, mutter and shell (fake)",
         DesktopService::Kind::MutterDisplayConfig,
         {{"shell", "49.3"}}},
        {"GNOME 43-48, gsd (fake)", DesktopService::Kind::GnomeSettingsDaemon, {}},
        {"GNOME 43, gsd-power (real)", std::nullopt, {}},
    };
    std::printf(
        "| route | light changes | values sent to the service | holds started | "
        "backlight writes by the agent |\n|---|---|---|---|---|\n");
    for (const auto& route : routes) {
        std::optional<Figures> f;
        try {
            f = day(route, hours, &why);
        } catch (const std::exception& e) {  // a fixture that could not be built
            why = e.what();
        }
        if (!f) {
            std::printf("| %s | not run: %s | | | |\n", route.name, why.c_str());
            continue;
        }
        std::printf("| %s | %d | %s | %d | %d |\n", route.name, f->lightChanges,
                    route.kind ? std::to_string(f->valuesSent).c_str() : "-", f->holds,
                    f->directWrites);
        std::fflush(stdout);
    }
    return 0;
}
