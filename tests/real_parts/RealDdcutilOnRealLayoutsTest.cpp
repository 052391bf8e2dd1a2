// The real ddcutil (Debian's package: 1.4.1 on Debian 12, 2.2.0 on Debian 13)
// as the check on the DDC/CI layouts of thirteen real machines
// (tests/data/ddc-layouts/, each transcribed from its owner's ddcutil report
// in tests/data/real-data/ddc/, as tests/engine_linux/RealDdcLayoutsTest.cpp
// builds them over FUSE). Each is built as a umockdev test bed
// (tests/support/ddc-test-bed --layout); inside it Duolume's Linux machine
// finds the monitors it can drive, then `ddcutil detect --terse` lists what
// it finds and reads each monitor's brightness with `ddcutil getvcp 10
// --bus N`. ddcutil must find the monitor on the bus its owner drove it on
// (or, where nobody could drive it, call it an invalid display), and Duolume
// must drive the monitors ddcutil finds and no others, but where the case
// says why.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "CoreFoundation/CFRunLoop.h"
#include "engine/DdcLink.h"
#include "linux/ddc/LinuxAVServices.h"
#include "real_parts/DdcTestBed.h"
#include "support/ChildProcess.h"
#include "support/LoggingLinuxMachine.h"

using namespace testing_support;
using Buses = std::set<int>;

namespace {

// What one ddcutil version does otherwise on a layout, and why.
struct Quirk {
    const char* version = "";
    bool aborts = false;  // detect ends on a failed assertion
    Buses unread;         // displays its getvcp cannot read
    const char* why = "";
};

struct Case {
    const char* layout;
    Buses displays;     // where ddcutil detect finds a monitor that answers DDC/CI
    Buses invalid;      // where it finds one that does not ("Invalid display")
    Buses duolumeAlso;  // driven by Duolume beside `displays`, for the reason in `why`
    const char* why = "";
    Quirk quirk = {};
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.layout;
}

const Case kCases[] = {
    {"amdgpu-dp-sst-manjaro-5.15", {11}, {5}, {}},
    {"amdgpu-dpmst-thinkpad-t14s-gen2",
     {14},
     {},
     {13},
     "ddcutil passes over a bus whose EDID at 0x50 reads zeros (rockowitz/ddcutil#585); the "
     "owner's monitor answers there, and Duolume knows it by its output's EDID"},
    {"amdgpu-smu-adapters-ddcutil-3.0.1", {14}, {}, {}},
    {"nvidia-525-no-drm-connectors", {}, {7}, {}},
    {"nvidia-i915-hybrid-manjaro-5.10", {12}, {4}, {}},
    {"nvidia-laptop-debian-trixie-einval",
     {},
     {0},
     {},
     "",
     {"1.4.1",
      true,
      {},
      "ddcutil takes the bus number from the name /proc/self/fd gives the open bus "
      "(src/i2c/i2c_strategy_dispatcher.c invoke_i2c_writer, v1.4.1); in the test bed that is "
      "a pty, and its assert(busno >= 0) fails when the write gives EINVAL"}},
    {"nvidia-drm-connectors-identical-msi", {5, 6}, {}, {}},
    {"nvidia-sysfs-enabled-disabled-digitaltrails",
     {1, 2},
     {},
     {},
     "",
     {"1.4.1",
      false,
      {2},
      "the BenQ T2200HD replies later than the 50 ms ddcutil 1.x waits for a reply "
      "(rockowitz/ddcutil#325; src/base/parms.h DDC_TIMEOUT_MILLIS_DEFAULT, v1.4.1); 2.2.0 "
      "reads it in the test bed, as its owner read it with 2.x (#390)"}},
    {"i915-debian-6.1-dock-edp-aux", {}, {13}, {}},
    {"intel-6.8-xps13-wd22tb4-phantom", {20}, {15}, {}},
    {"laptop-phantom-dell-u2719d", {8}, {7}, {}},
    {"i915-tb-dock-ugreen-aux-usbc4", {13}, {}, {}},
    {"i915-haswell-ultradock-dpmst", {}, {9}, {}},
};

std::string text(const Buses& buses) {
    std::string s;
    for (int n : buses)
        s += (s.empty() ? "i2c-" : ", i2c-") + std::to_string(n);
    return s.empty() ? "none" : s;
}

int busNumber(const std::string& s) {
    auto at = s.find("/dev/i2c-");
    return at == std::string::npos ? -1 : std::atoi(s.c_str() + at + 9);
}

// "found: KEY N N ..." lines of the report printed inside the test bed.
std::map<std::string, std::string> report(const std::string& output) {
    std::map<std::string, std::string> found;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("found: ", 0) == 0) {
            auto space = line.find(' ', 7);
            found[line.substr(7, space - 7)] =
                space == std::string::npos ? "" : line.substr(space + 1);
        }
    return found;
}

Buses numbers(const std::string& s) {
    Buses buses;
    std::istringstream in(s);
    for (int n; in >> n;)
        buses.insert(n);
    return buses;
}

}  // namespace

class RealDdcutilOnRealLayouts : public ::testing::TestWithParam<Case> {};

TEST_P(RealDdcutilOnRealLayouts, FindsTheMonitorWhereItsOwnerDidAndDuolumeAgrees) {
    if (auto why = whyDdcutilCannotRun(); !why.empty())
        GTEST_SKIP() << why;
    const Case& c = GetParam();
    auto bed =
        runInDdcTestBed({"--layout", std::string(DUOLUME_SOURCE_DIR "/tests/data/ddc-layouts/") +
                                         c.layout + ".json"},
                        "DdcutilInLayoutBed.DISABLED_ReportsWhereEachFindsAMonitor");
    ASSERT_TRUE(bed);
    ASSERT_EQ(bed->wait(110.0), 0) << bed->standardOutput() << bed->standardError();
    auto found = report(bed->standardOutput());
    ASSERT_TRUE(found.count("ddcutil-version")) << bed->standardOutput() << bed->standardError();
    const std::string version = found["ddcutil-version"];
    const std::string seen = "ddcutil " + version + " detect --terse:\n" + bed->standardOutput();

    const bool quirk = version == c.quirk.version;
    if (quirk)
        std::cout << "ddcutil " << version << " here, as known: " << c.quirk.why << "\n";
    if (quirk && c.quirk.aborts) {
        EXPECT_NE(found["ddcutil-status"], "0") << seen;
        EXPECT_NE(bed->standardError().find("Assertion"), std::string::npos) << seen;
    } else {
        EXPECT_EQ(found["ddcutil-status"], "0") << bed->standardError();
        EXPECT_EQ(text(numbers(found["ddcutil"])), text(c.displays)) << seen;
        EXPECT_EQ(text(numbers(found["ddcutil-invalid"])), text(c.invalid)) << seen;
        Buses read = c.displays;
        for (int n : quirk ? c.quirk.unread : Buses{})
            read.erase(n);
        EXPECT_EQ(text(numbers(found["ddcutil-reads-50"])), text(read)) << seen;
    }
    Buses expected = c.displays;
    expected.insert(c.duolumeAlso.begin(), c.duolumeAlso.end());
    EXPECT_EQ(text(numbers(found["duolume"])), text(expected))
        << "Duolume drives what ddcutil finds" << (*c.why ? ", and: " : "") << c.why << "\n"
        << seen;
}

INSTANTIATE_TEST_SUITE_P(Ddc, RealDdcutilOnRealLayouts, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.layout; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// Inside the test bed: the buses whose monitor Duolume reads, then what
// ddcutil detect lists, as "found:" lines.
TEST(DdcutilInLayoutBed, DISABLED_ReportsWhereEachFindsAMonitor) {
    ASSERT_NE(std::getenv("UMOCKDEV_DIR"), nullptr) << "runs inside the DDC/CI test bed only";
    LoggingLinuxMachine::installNew();
    platform::linux_machine::LinuxAVServices services;
    // Buses that no output names come in once their EDID has been read:
    // wait until the list has not changed for two seconds.
    std::vector<io_service_t> found;
    for (int quiet = 0, i = 0; quiet < 100 && i < 1000; ++i, ++quiet) {
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, true);
        auto now = services.services();
        if (now != found)
            quiet = 0;
        found = now;
    }
    std::string duolume;
    for (auto s : found) {
        auto channel = services.channel(s);
        const int bus = busNumber(channel ? channel->describeBus() : "");
        duolume::DdcLink link(channel);
        std::string why;
        const bool answers = bool(link.readLuminance(&why));
        link.close();
        std::cout << "Duolume: i2c-" << bus << (answers ? " answers" : " does not answer: " + why)
                  << "\n";
        if (answers)
            duolume += " " + std::to_string(bus);
    }
    std::cout << "found: duolume" << duolume << "\n";

    ChildProcess version({kDdcutil, "--version"});
    ASSERT_EQ(version.wait(20.0), 0);
    std::istringstream first(version.standardOutput());
    std::string name, number;
    first >> name >> number;
    std::cout << "found: ddcutil-version " << number.substr(0, number.find('-')) << "\n";

    ChildProcess detect({kDdcutil, "detect", "--terse"});
    const auto status = detect.wait(90.0);
    std::cout << "found: ddcutil-status " << (status ? *status : -2) << "\n";
    std::cerr << detect.standardError();
    // Blocks of "Display N" or "Invalid display" (2.x also "Phantom
    // display"), each with an "I2C bus:  /dev/i2c-N" line.
    std::string displays, invalid, kind;
    std::istringstream lines(detect.standardOutput());
    for (std::string line; std::getline(lines, line);) {
        std::cout << "ddcutil: " << line << "\n";
        if (!line.empty() && line[0] != ' ')
            kind = line;
        else if (line.find("I2C bus:") != std::string::npos)
            (kind.rfind("Display ", 0) == 0 ? displays : invalid) +=
                " " + std::to_string(busNumber(line));
    }
    std::cout << "found: ddcutil" << displays << "\nfound: ddcutil-invalid" << invalid << "\n";
    // Each display ddcutil found is the test bed's monitor there (all at 50).
    std::string reads;
    for (int bus : numbers(displays)) {
        ChildProcess get({kDdcutil, "getvcp", "10", "--terse", "--bus", std::to_string(bus)});
        get.wait(30.0);
        std::cout << "ddcutil getvcp 10 --bus " << bus << ": " << get.standardOutput();
        if (get.standardOutput().find("VCP 10 C 50 100") != std::string::npos)
            reads += " " + std::to_string(bus);
    }
    std::cout << "found: ddcutil-reads-50" << reads << "\n";
}
