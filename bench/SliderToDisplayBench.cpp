// A slider move in the pane, through to the displays: the real Qt slider
// (offscreen platform), the pane and its settings file on disk, the change
// notification on a private session bus, and the engine on the Linux machine
// over a virtual laptop (sysfs backlight on tmpfs, an Apple USB monitor
// answering feature reports through FUSE). Synchronisation is off, so every
// move asks the engine for a sync request, as the pane does.
//
// Each iteration is one move: the time from the slider's value change to the
// monitor's brightness report, the last display write of the request (the
// panel is written before it). p50 and p99 over the moves are the counters;
// the settings file's flush (two fsyncs: the file and its folder) is measured
// with and without, since on a disk it is most of the cost.
//
//   build/bin/slider_display_bench
//   DUOLUME_BENCH_SAMPLES=DIR  also writes every move's latency (µs) to
//                              DIR/slider-fsync-<0|1>.dat
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QSlider>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppKit/PreferencesWindow.h"
#include "SharedRig.h"
#include "engine/BrightnessController.h"
#include "linux/LinuxMachine.h"
#include "pane/DuolumePref.h"
#include "settings/SettingsStore.h"
#include "support/FuseHidraw.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"
#include "support/VirtualLaptop.h"

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<bool> gFlushSkipped{false};
std::atomic<long> gFlushes{0};

}  // namespace

// Interposes the C library's fsync for this program, so the same build can be
// measured with the settings file's flush and without it.
extern "C" int fsync(int fd) {
    using Fsync = int (*)(int);
    static Fsync real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
    ++gFlushes;
    if (gFlushSkipped)
        return 0;
    return real(fd);
}

namespace {

// The Linux machine with its log lines kept in memory, off the terminal.
class QuietLinuxMachine : public platform::linux_machine::LinuxMachine {
  public:
    std::vector<std::string> lines;
    void writeLog(const std::string& line) override { lines.push_back(line); }
};

std::optional<std::string> memoryFolder() {
    if (access("/dev/shm", W_OK) == 0)
        return std::string("/dev/shm");
    return std::nullopt;
}

QApplication& offscreenApp() {
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "slider_display_bench";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Everything for the whole process: the pane and engine are singletons there.
// Taken down by main(): the bus daemon stopped, the file system unmounted
// (lazily, as the engine keeps its monitor open), the folders removed. The
// engine and the QApplication stay to the end.
struct Rig {
    TempDir home;  // on the disk, like a user's home folder
    ScopedEnv xdgConfig{"XDG_CONFIG_HOME", home / "config"};
    ScopedEnv xdgData{"XDG_DATA_HOME", home / "data"};
    ScopedEnv tmpdir{"TMPDIR", memoryFolder()};
    TempDir root;  // sysfs-shaped, on tmpfs when there is one
    ScopedEnv sysroot{"PLATFORM_SYSROOT", root.path()};
    ScopedEnv noSystemBus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root / "no-system-bus")};
    ScopedEnv language{"LANG", "C.UTF-8"};
    PrivateBus session;
    VirtualLaptop laptop{root.path()};
    std::unique_ptr<FuseHidraw> fuse;
    std::unique_ptr<appkit::PreferencesWindow> window;
    QSlider* slider = nullptr;
    std::string why;

    // The monitor's report, stamped on the file system's thread.
    std::atomic<std::int64_t> lastReportNanos{0};
    std::atomic<int> reports{0};

    Rig() {
        const std::string panel = laptop.addBuiltinPanel();
        laptop.addConnectorBacklight("intel_backlight", panel, 19200, 9600);
        // The USB monitor's picture arrives on an active DisplayPort output.
        laptop.addExternalOutput();
        const double level = 4.5;
        laptop.setAmbientLight(VirtualLaptop::smcLightForLevel(level), std::exp(level) - 1.0);

        fuse = FuseHidraw::mount(laptop.devFolder(), &why);
        if (!fuse)
            return;
        fuse->onWrite([this](const std::string&, std::uint16_t) {
            lastReportNanos = Clock::now().time_since_epoch().count();
            ++reports;
        });
        fuse->addMonitor("hidraw0", 0x8000);
        laptop.addHidrawDevice(0, 0x9226);

        platform::Machine::install(std::make_unique<QuietLinuxMachine>());
        offscreenApp();
        window = std::make_unique<appkit::PreferencesWindow>();
        window->addPane(std::make_unique<DuolumePref>(
            NSBundle::bundleWithPath(std::string(DUOLUME_BINARY_DIR) + "/Duolume.prefPane")));
        window->show();
        window->selectPane(0);
        slider = window->findChild<QSlider*>("external4");
        if (!slider) {
            why = "the pane has no slider external4";
            return;
        }
        // The first move creates the engine, whose watcher then finds the
        // monitor on the run loop.
        move(slider->maximum() / 2);
        auto* engine = BrightnessController::sharedInstance();
        for (int i = 0; i < 500 && engine->externalMonitors().empty(); ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            usleep(1000);
        }
        if (engine->externalMonitors().empty())
            why = "the engine did not find the virtual monitor";
    }

    bool ready(benchmark::State& state) {
        if (slider && why.empty())
            return true;
        state.SkipWithError(why.c_str());
        return false;
    }

    void move(int position) { slider->setValue(position); }
};

void writeSamples(const std::vector<double>& micros, bool flushed) {
    const char* dir = std::getenv("DUOLUME_BENCH_SAMPLES");
    if (!dir || !*dir)
        return;
    std::ofstream out(std::string(dir) + "/slider-fsync-" + (flushed ? "1" : "0") + ".dat");
    for (double m : micros)
        out << m << "\n";
}

// state.range(0): 1 with the settings file's flush, 0 without.
void BM_SliderToDisplay(benchmark::State& state) {
    auto& r = sharedRig<Rig>();
    if (!r.ready(state))
        return;
    const bool flushed = state.range(0) != 0;
    gFlushSkipped = !flushed;
    std::vector<double> micros;
    micros.reserve(1000);
    const long flushesBefore = gFlushes;
    int missed = 0;
    int position = r.slider->minimum();
    for (auto _ : state) {
        // Between moves the event loop runs, as it does between a user's moves.
        QApplication::processEvents();
        position = position >= r.slider->maximum() ? r.slider->minimum() : position + 1;
        const int reportsBefore = r.reports;
        const auto start = Clock::now();
        r.move(position);
        const auto returned = Clock::now();
        if (r.reports == reportsBefore) {
            ++missed;
            state.SetIterationTime(std::chrono::duration<double>(returned - start).count());
            continue;
        }
        const auto reported = Clock::time_point(Clock::duration(r.lastReportNanos.load()));
        const double seconds = std::chrono::duration<double>(reported - start).count();
        state.SetIterationTime(seconds);
        micros.push_back(seconds * 1e6);
    }
    gFlushSkipped = false;
    if (missed)
        state.SkipWithError((std::to_string(missed) + " moves reached no monitor").c_str());
    state.counters["p50_us"] = percentile(micros, 0.50);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = percentile(micros, 1.0);
    state.counters["fsyncs_per_move"] =
        static_cast<double>(gFlushes - flushesBefore) / static_cast<double>(state.iterations());
    writeSamples(micros, flushed);
}
BENCHMARK(BM_SliderToDisplay)
    ->ArgName("fsync")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<Rig>(argc, argv);
}
