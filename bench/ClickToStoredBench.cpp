// A click on a curve slider as a user meets it: the real settings window
// (prefpane-host showing Duolume.prefPane, Qt on the xcb platform) on a real
// X server (Xvfb), the real iio-sensor-proxy under umockdev on a private
// system bus, a private session bus, and real mouse clicks through xdotool.
// The window sees the sysfs the daemon reads (umockdev's test bed), as on one
// machine.
// Synchronisation is on, so the window's light indicator follows the light
// while the pane is selected, as it does for a user.
//
// Each iteration is one click on the slider "external4": the time from the
// start of the xdotool that sends it to the moment the settings file holds the
// slider's new value (seen with inotify). The clicks go above and below the
// handle in turn, so every click moves it by one page step; a click that
// stored anything else is counted. Two runs of 30 clicks, in one process and
// one window: in steady light, and while a lamp is switched on and off every
// 0.6 s (50 and 5 000 lux). p50, p90, max and the clicks over 250 ms are the
// counters; the second run also gives its p90 against the first's.
//
// The slider is found on the screen, not asked of the program: the window is
// shown once with the slider at 0 and once at 1, and the two screenshots
// differ exactly over its groove. Five clicks from 1 down to 0.5, each of
// which must store one step less, confirm the place before measuring.
//
//   build/bin/click_to_stored_bench
//   DUOLUME_BENCH_SAMPLES=DIR  also writes every click to
//                              DIR/clicks-<steady|changing>.dat (stored ms,
//                              stored value) and the two
//                              calibration screenshots to DIR/clicks-slider-<0|1>.png
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>

#include <QGuiApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SharedRig.h"
#include "click/SettingsFile.h"
#include "click/WindowPictures.h"
#include "click/Xdotool.h"
#include "click/XvfbServer.h"
#include "real_parts/RealSensorProxy.h"
#include "support/ChildProcess.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"

using namespace testing_support;
using namespace click_bench;
using Clock = std::chrono::steady_clock;

namespace {

const double kDimLux = 50.0;
const double kBrightLux = 5000.0;
const auto kLightPeriod = std::chrono::milliseconds(600);
const std::string kSlider = "external4";
const double kPageStep = 0.1;  // the slider's page step (100 of 1000) as stored
const double kClickTimeoutSeconds = 10.0;
const double kSlowMs = 250.0;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The pane's first-run settings (both curves at level / 10), with
// synchronisation on and the first-run notice already dismissed for good.
void seedSettings(const SettingsFile& file, double sliderValue) {
    std::map<std::string, double> curve;
    for (int level = 0; level <= 10; ++level) {
        curve["internal" + std::to_string(level)] = level / 10.0;
        curve["external" + std::to_string(level)] = level / 10.0;
    }
    curve[kSlider] = sliderValue;
    file.write(
        {{"enabled", true}, {"singleMonitorDisabled", false}, {"suppressHardwareWarning", true}},
        curve);
}

// This process's own Qt on the X server, for its screenshots.
std::unique_ptr<QGuiApplication> guiOnDisplay() {
    static int argc = 1;
    static char name[] = "click_to_stored_bench";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

std::string folderIn(const TempDir& dir, const std::string& name, mode_t mode) {
    std::string path = dir / name;
    ::mkdir(path.c_str(), mode);
    return path;
}

// A lamp switched on and off: the sensor's lux alternates every period.
class BlinkingLamp {
  public:
    explicit BlinkingLamp(RealSensorProxy& proxy) : proxy_(proxy) {
        thread_ = std::thread([this] { run(); });
    }
    ~BlinkingLamp() { stop(); }
    int changes() const { return changes_; }
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

  private:
    void run() {
        bool bright = false;
        auto next = Clock::now();
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            bright = !bright;
            proxy_.setLux(bright ? kBrightLux : kDimLux);
            ++changes_;
            next += kLightPeriod;
            wake_.wait_until(lock, next, [this] { return stopping_; });
        }
    }

    RealSensorProxy& proxy_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<int> changes_{0};
};

struct ClickOutcome {
    double storedMs = 0.0;
    std::optional<double> value;  // absent: nothing stored within the time limit
};

// Everything for the whole process, in the order it is taken down in reverse.
struct Rig {
    TempDir home;
    ScopedEnv xdgConfig{"XDG_CONFIG_HOME", home / "config"};
    ScopedEnv xdgData{"XDG_DATA_HOME", home / "data"};
    ScopedEnv xdgRuntime{"XDG_RUNTIME_DIR", folderIn(home, "runtime", 0700)};
    ScopedEnv language{"LANG", "C.UTF-8"};
    ScopedEnv languages{"LANGUAGE", std::nullopt};
    ScopedEnv allCategories{"LC_ALL", std::nullopt};
    ScopedEnv qtPlatform{"QT_QPA_PLATFORM", "xcb"};
    XvfbServer x;
    PrivateBus system{PrivateBus::Kind::System};
    PrivateBus session{PrivateBus::Kind::Session};
    RealSensorProxy proxy{RealSensorProxy::Sensor::IIOLight, kDimLux};
    std::unique_ptr<QGuiApplication> gui;  // gone before the X server
    SettingsFile settings{home / "config/org.duolume.Duolume.plist"};
    std::unique_ptr<ChildProcess> host;
    WindowGeometry window;
    QRect groove;  // the slider's travel, handle included, in window coordinates
    double value = 1.0;
    std::string why;

    Rig() {
        why = XvfbServer::whyNotRunnable();
        if (why.empty())
            why = RealSensorProxy::whyNotRunnable();
        if (why.empty() && !x.ok())
            why = x.why();
        if (!why.empty() || !proxy.start(&why))
            return;
        gui = guiOnDisplay();
        if (!findSlider() || !bringSliderToMiddle() || !checkWindowFollowsLight())
            stopHost();
    }
    ~Rig() { stopHost(); }

    bool ready(benchmark::State& state) {
        if (why.empty())
            return true;
        state.SkipWithError(why.c_str());
        return false;
    }

    bool startHost() {
        const std::string bin = DUOLUME_BINARY_DIR;
        // The window's sysfs is the daemon's test bed: on a laptop both read
        // one sysfs, and the window, which never waits for the daemon's first
        // answer, takes a light device listed there as a sensor that may give
        // a reading. With the bench's own sysfs it would see no sensor at all.
        host = std::make_unique<ChildProcess>(
            std::vector<std::string>{bin + "/bin/prefpane-host", bin + "/Duolume.prefPane"},
            std::map<std::string, std::optional<std::string>>{{"PLATFORM_SYSROOT", proxy.testBed()},
                                                              {"PLATFORM_LOG_STDERR", "1"}});
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < end && host->running()) {
            if (auto w = largestWindowOf(host->pid()); w && w->width > 100) {
                window = *w;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        why = "the settings window did not appear: " + host->standardError();
        return false;
    }

    void stopHost() {
        if (!host)
            return;
        host->signal(SIGTERM);
        if (!host->wait(5.0))
            host->signal(SIGKILL);
        host.reset();
    }

    // The window once its place, size and picture have stopped changing.
    std::optional<QImage> settledWindow(const char* what) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            auto picture = settledPictureOf(window, 1.5, 20.0);
            const auto now = largestWindowOf(host->pid());
            if (!picture || !now)
                break;
            if (now->x == window.x && now->y == window.y && now->width == window.width &&
                now->height == window.height)
                return picture;
            window = *now;
        }
        why = std::string("the window kept changing ") + what;
        return std::nullopt;
    }

    // Two windows, the slider at 0 and at 1: they differ over its groove.
    bool findSlider() {
        seedSettings(settings, 0.0);
        if (!startHost())
            return false;
        auto atZero = settledWindow("with the slider at 0");
        const WindowGeometry first = window;
        stopHost();
        seedSettings(settings, 1.0);
        if (!atZero || !startHost())
            return false;
        auto atOne = settledWindow("with the slider at 1");
        if (!atOne)
            return false;
        if (first.width != window.width || first.height != window.height) {
            why = "the window's size differs between two starts: " + std::to_string(first.width) +
                  "x" + std::to_string(first.height) + ", then " + std::to_string(window.width) +
                  "x" + std::to_string(window.height);
            return false;
        }
        if (const char* dir = std::getenv("DUOLUME_BENCH_SAMPLES"); dir && *dir) {
            atZero->save(QString(dir) + "/clicks-slider-0.png");
            atOne->save(QString(dir) + "/clicks-slider-1.png");
        }
        auto area = changedArea(*atZero, *atOne);
        // A vertical slider's groove: narrow and tall.
        if (!area || area->width() > 60 || area->height() < 60) {
            why = "the two windows do not differ over one vertical slider";
            return false;
        }
        groove = *area;
        std::fprintf(
            stderr, "click_to_stored_bench: window %dx%d at %d,%d; slider %s at x %d, y %d to %d\n",
            window.width, window.height, window.x, window.y, kSlider.c_str(), groove.center().x(),
            groove.top(), groove.bottom());
        return true;
    }

    // Where to click to move the handle one page step up or down: a quarter
    // of the travel past the handle's middle, inside the groove.
    int clickY(bool up) const {
        const double handle = groove.top() + (1.0 - value) * groove.height();
        const double y = handle + (up ? -0.25 : 0.25) * groove.height();
        return std::clamp(static_cast<int>(std::lround(y)), groove.top() + 2, groove.bottom() - 2);
    }

    ClickOutcome click(bool up) {
        ClickOutcome outcome;
        movePointer(window.x + groove.center().x(), window.y + clickY(up));
        settings.drain();
        Click sent;
        const auto deadline =
            sent.sentAt + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(kClickTimeoutSeconds));
        while (Clock::now() < deadline) {
            pollfd changed{settings.changeDescriptor(), POLLIN, 0};
            const int timeout =
                static_cast<int>(std::max(1.0, millisecondsBetween(Clock::now(), deadline)));
            if (::poll(&changed, 1, timeout) <= 0)
                continue;
            const auto now = Clock::now();
            settings.drain();
            auto stored = settings.number(kSlider);
            if (stored && std::fabs(*stored - value) > 1e-9) {
                outcome.storedMs = millisecondsBetween(sent.sentAt, now);
                outcome.value = value = *stored;
                break;
            }
        }
        if (!sent.finish() && !outcome.value)
            why = "xdotool could not click";
        return outcome;
    }

    // From 1 down to 0.5, one page step a click: proves the clicks land on
    // the slider before anything is measured.
    bool bringSliderToMiddle() {
        while (value > 0.5 + 1e-6) {
            const double before = value;
            auto outcome = click(false);
            if (!outcome.value || std::fabs(*outcome.value - (before - kPageStep)) > 1e-6) {
                why = "a click below the handle of " + kSlider + " did not store one step less";
                return false;
            }
        }
        return true;
    }

    // Waits until the window's picture is (or is not) `reference`; the
    // milliseconds it took, or absent after 10 s.
    std::optional<double> untilPicture(const QImage& reference, bool equal) {
        const auto start = Clock::now();
        while (Clock::now() < start + std::chrono::seconds(10)) {
            if ((pictureOf(window) == reference) == equal)
                return millisecondsBetween(start, Clock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::nullopt;
    }

    // The window must follow the light, or the changing light tests nothing;
    // and the light must be steady again, and shown, before the steady run.
    bool checkWindowFollowsLight() {
        auto dim = settledWindow("in dim light");
        if (!dim)
            return false;
        proxy.setLux(kBrightLux);
        const auto shown = untilPicture(*dim, false);
        proxy.setLux(kDimLux);
        const auto back = untilPicture(*dim, true);
        if (!shown || !back) {
            why = "the window did not follow a change of the light within 10 s; its log:\n" +
                  host->standardError();
            return false;
        }
        std::fprintf(stderr,
                     "click_to_stored_bench: the window showed the lamp switched on after %.0f ms, "
                     "off again after %.0f ms\n",
                     *shown, *back);
        return settledWindow("after the light came back").has_value();
    }
};

double loadAverage() {
    double load = 0.0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = 0.0;
        std::fclose(f);
    }
    return load;
}

std::optional<double> gSteadyP90;

// state.range(0): 0 in steady light, 1 while the lamp blinks.
void BM_ClickToStored(benchmark::State& state) {
    auto& r = sharedRig<Rig>();
    if (!r.ready(state))
        return;
    const bool changing = state.range(0) != 0;
    std::unique_ptr<BlinkingLamp> lamp;
    if (changing) {
        lamp = std::make_unique<BlinkingLamp>(r.proxy);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // under way
    }
    std::vector<double> stored;
    std::ofstream samples;
    if (const char* dir = std::getenv("DUOLUME_BENCH_SAMPLES"); dir && *dir)
        samples.open(std::string(dir) + "/clicks-" + (changing ? "changing" : "steady") + ".dat");
    // A person's pace, the same in both runs: 200 to 500 ms between clicks.
    std::minstd_rand pace(24);
    std::uniform_int_distribution<int> pause(200, 500);
    int oddSteps = 0;
    for (auto _ : state) {
        const double before = r.value;
        const bool up = before < 0.5 + kPageStep / 2;
        const auto outcome = r.click(up);
        if (!outcome.value) {
            state.SkipWithError(r.why.empty() ? "a click stored nothing within 10 s"
                                              : r.why.c_str());
            break;
        }
        if (std::fabs(*outcome.value - (before + (up ? kPageStep : -kPageStep))) > 1e-6)
            ++oddSteps;
        state.SetIterationTime(outcome.storedMs / 1000.0);
        stored.push_back(outcome.storedMs);
        if (samples)
            samples << outcome.storedMs << " " << *outcome.value << "\n";
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(pace)));
    }
    if (lamp) {
        state.counters["light_changes"] = lamp->changes();
        lamp->stop();
        r.proxy.setLux(kDimLux);
    }
    const double p90 = percentile(stored, 0.90);
    state.counters["p50_ms"] = percentile(stored, 0.50);
    state.counters["p90_ms"] = p90;
    state.counters["max_ms"] = percentile(stored, 1.0);
    state.counters["over_250ms"] = static_cast<double>(
        std::count_if(stored.begin(), stored.end(), [](double ms) { return ms > kSlowMs; }));
    state.counters["clicks"] = static_cast<double>(stored.size());
    state.counters["odd_steps"] = oddSteps;
    state.counters["xdotool_start_ms"] = startMilliseconds();
    state.counters["load_1min"] = loadAverage();
    if (!changing) {
        gSteadyP90 = p90;
    } else if (gSteadyP90 && *gSteadyP90 > 0.0) {
        state.counters["p90_minus_steady_ms"] = p90 - *gSteadyP90;
        state.counters["p90_over_steady"] = p90 / *gSteadyP90;
    }
}
BENCHMARK(BM_ClickToStored)
    ->ArgName("light_changing")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<Rig>(argc, argv);
}
