// What a fade step costs the engine's thread in system calls, counted (not
// timed) from a trace of fade_syscall_probe under strace: one write per
// display and the sleep, and at most one more. The sync request without
// smoothing (the pane's slider path) is counted the same way. Both over a
// virtual laptop (changes seen through inotify; the monitor through FUSE) and
// inside the umockdev test bed, where the real libudev hears a change event
// after every write of the panel's brightness, as on a real laptop.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/UdevTestBed.h"

using namespace testing_support;

namespace {

const std::string kProbe = std::string(DUOLUME_BINARY_DIR) + "/bin/fade_syscall_probe";
const std::string kStrace = "/usr/bin/strace";

struct Call {
    std::string pid;
    std::string name;
    std::string line;
};

// The calls of an `strace -f -o` trace, each once: a call split by another
// thread's is counted at its "<unfinished ...>" half.
std::vector<Call> readTrace(const std::string& path) {
    std::vector<Call> calls;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        auto space = line.find(' ');
        if (space == std::string::npos)
            continue;
        auto start = line.find_first_not_of(' ', space);
        if (start == std::string::npos || line.compare(start, 3, "<..") == 0 ||
            line.compare(start, 3, "---") == 0 || line.compare(start, 3, "+++") == 0) {
            continue;
        }
        auto paren = line.find('(', start);
        if (paren == std::string::npos)
            continue;
        calls.push_back({line.substr(0, space), line.substr(start, paren - start), line});
    }
    return calls;
}

bool isMark(const Call& c, const std::string& name) {
    return c.line.find("\"/duolume-mark-" + name + "\"") != std::string::npos;
}

bool isSleep(const Call& c) {
    return c.name == "clock_nanosleep" || c.name == "nanosleep";
}

// The engine thread's calls from the mark `from` to the mark `to`, both left out.
std::vector<Call> between(const std::vector<Call>& calls, const std::string& from,
                          const std::string& to) {
    std::vector<Call> out;
    auto begin =
        std::find_if(calls.begin(), calls.end(), [&](const Call& c) { return isMark(c, from); });
    if (begin == calls.end())
        return out;
    const std::string thread = begin->pid;
    for (auto it = begin + 1; it != calls.end() && !isMark(*it, to); ++it) {
        if (it->pid == thread)
            out.push_back(*it);
    }
    return out;
}

// Cut after every sleep: each step is its writes and the sleep that ends it.
std::vector<std::vector<Call>> steps(const std::vector<Call>& calls) {
    std::vector<std::vector<Call>> out(1);
    for (const auto& c : calls) {
        out.back().push_back(c);
        if (isSleep(c))
            out.emplace_back();
    }
    out.pop_back();  // what follows the last sleep belongs to no step
    return out;
}

std::string names(const std::vector<Call>& calls) {
    std::string text;
    for (const auto& c : calls)
        text += (text.empty() ? "" : " ") + c.name;
    return text;
}

int count(const std::vector<Call>& calls, const std::function<bool(const Call&)>& which) {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), which));
}

bool opensPanelFile(const Call& c) {
    return c.name == "openat" && c.line.find("intel_backlight/brightness\"") != std::string::npos;
}

// The HID back-end looking through the hidraw class for monitors.
bool listsHidrawDevices(const Call& c) {
    return c.name == "openat" && c.line.find("/class/hidraw\"") != std::string::npos &&
           c.line.find("O_DIRECTORY") != std::string::npos;
}

enum class Bed { VirtualLaptop, UdevTestBed };

std::ostream& operator<<(std::ostream& out, Bed bed) {
    return out << (bed == Bed::VirtualLaptop ? "virtual laptop" : "udev test bed");
}

class ProbeTrace : public ::testing::Test {
  protected:
    // The probe's trace on `bed`, in `calls`; skips where it cannot run.
    void traceProbe(Bed bed) {
        if (access(kStrace.c_str(), X_OK) != 0)
            GTEST_SKIP() << "counting system calls needs strace (scripts/install-deps)";
        std::vector<std::string> argv = {kStrace, "-f", "-qq", "-o", trace, kProbe};
        std::string err;
        int status = 0;
        if (bed == Bed::VirtualLaptop) {
            status = ChildProcess::run(argv, {}, &err, 90.0);
        } else {
            std::string why = UdevTestBed::whyNotRunnable();
            if (!why.empty())
                GTEST_SKIP() << why;
            argv.push_back("--udev-test-bed");
            ASSERT_TRUE(udevBed.run(argv, {}, &why)) << why;
            status = udevBed.process().wait(90.0).value_or(-2);
            err = udevBed.process().standardError();
        }
        if (status == 77)
            GTEST_SKIP() << "the virtual USB monitor needs FUSE";
        if (status != 0 && err.find("ptrace") != std::string::npos)
            GTEST_SKIP() << "strace may not trace here: " << err;
        ASSERT_EQ(status, 0) << err;
        calls = readTrace(trace);
    }

    TempDir dir;
    std::string trace = dir / "trace";
    UdevTestBed udevBed;
    std::vector<Call> calls;
};

class FadeSystemCalls : public ProbeTrace, public ::testing::WithParamInterface<Bed> {
  protected:
    void SetUp() override { traceProbe(GetParam()); }
};

std::string bedName(const ::testing::TestParamInfo<Bed>& info) {
    return info.param == Bed::VirtualLaptop ? "OnAVirtualLaptop" : "InTheUdevTestBed";
}

class MonitorSearches : public ProbeTrace {
  protected:
    void SetUp() override { traceProbe(Bed::UdevTestBed); }
};

}  // namespace

TEST_P(FadeSystemCalls, EachFadeStepIsOneWritePerDisplayAndTheSleep) {
    auto fade = steps(between(calls, "fade", "request"));
    ASSERT_EQ(fade.size(), 100u) << "one sleep per step";
    // The first step also carries the request's reads (settings, sensor,
    // both displays' brightness); the other 99 are the fade's own work.
    std::vector<std::size_t> counts;
    for (std::size_t i = 1; i < fade.size(); ++i) {
        EXPECT_LE(fade[i].size(), 4u) << "step " << i + 1 << ": " << names(fade[i]);
        counts.push_back(fade[i].size());
    }
    std::sort(counts.begin(), counts.end());
    std::cout << "calls per fade step: median " << counts[counts.size() / 2] << ", max "
              << counts.back() << " (" << names(fade[50]) << "); first step with the reads "
              << fade[0].size() << "\n";
    // The panel's file, opened before, is kept through the kernel's change
    // event after each of its writes.
    EXPECT_EQ(count(between(calls, "fade", "end"), opensPanelFile), 0);
}

TEST_P(FadeSystemCalls, RequestWithoutSmoothingReachesThePanelThroughItsKeptFile) {
    auto request = between(calls, "request", "end");
    std::map<std::string, int> byName;
    std::vector<Call> byPath;
    for (const auto& c : request) {
        ++byName[c.name];
        if (c.line.find("/sys/class/backlight") != std::string::npos)
            byPath.push_back(c);
    }
    std::string summary;
    for (const auto& [name, n] : byName)
        summary += " " + name + "×" + std::to_string(n);
    std::cout << "calls per request without smoothing: " << request.size() << " (" << summary
              << " )\n";
    // The panel: one read and one write of its brightness, nothing looked up.
    EXPECT_EQ(byName["pread64"], 1);
    EXPECT_EQ(byName["pwrite64"], 1);
    EXPECT_TRUE(byPath.empty()) << names(byPath);
    // The monitor's read and its write; the test bed's monitor stays unplugged.
    EXPECT_EQ(byName["ioctl"], GetParam() == Bed::VirtualLaptop ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(, FadeSystemCalls, ::testing::Values(Bed::VirtualLaptop, Bed::UdevTestBed),
                         bedName);

// The hundred change events of the fade's writes reach the HID back-end's
// watch too when the run loop turns again: it looks for monitors only when
// one comes or goes.
TEST_F(MonitorSearches, NoneForTheFadesChangeEventsOneForAMonitorPluggedIn) {
    EXPECT_EQ(count(between(calls, "end", "heard"), listsHidrawDevices), 0);
    EXPECT_GE(count(between(calls, "heard", "plugged"), listsHidrawDevices), 1);
}
