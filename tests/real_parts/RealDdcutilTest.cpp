// The real ddcutil (Debian's package: 1.4.1 on Debian 12, 2.2.0 on Debian 13)
// as the check on the DDC/CI test monitor: in a umockdev test bed whose
// /dev/i2c-5 answers i2c-dev's calls, ioctls among them
// (tests/support/ddc-test-bed), Duolume's Linux machine finds the monitor and
// sets it; then ddcutil, under the same test bed, detects it on that bus and
// reads what Duolume set. Twice: on an Intel output's AUX adapter, and on an
// NVIDIA card's own bus that no output names (found by the EDID at 0x50).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "CoreFoundation/CFRunLoop.h"
#include "engine/DdcLink.h"
#include "linux/ddc/LinuxAVServices.h"
#include "support/ChildProcess.h"
#include "support/LoggingLinuxMachine.h"
#include "support/UdevTestBed.h"

using namespace testing_support;

namespace {

const char* const kDdcutil = "/usr/bin/ddcutil";
const char* const kEdid = DUOLUME_SOURCE_DIR "/tests/data/real-data/edid/DELA0BA-0921D2197F00.bin";

std::string ddcutil(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kDdcutil};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv);
    EXPECT_EQ(child.wait(60.0), 0) << child.standardError();
    return child.standardOutput();
}

}  // namespace

class RealDdcutil : public ::testing::TestWithParam<bool> {};

TEST_P(RealDdcutil, DetectsTheTestMonitorAndReadsWhatDuolumeSet) {
    auto why = UdevTestBed::whyNotRunnable();
    if (!why.empty())
        GTEST_SKIP() << why;
    if (::access(kDdcutil, X_OK) != 0)
        GTEST_SKIP() << kDdcutil << " is not installed (Debian package ddcutil)";
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::vector<std::string> command{"/usr/bin/umockdev-wrapper", "/usr/bin/python3",
                                     DUOLUME_SOURCE_DIR "/tests/support/ddc-test-bed"};
    if (GetParam())
        command.push_back("--nvidia");
    for (std::string arg :
         {std::string(kEdid), std::string("50"), std::string("--"), std::string(self),
          std::string("--gtest_also_run_disabled_tests"),
          std::string("--gtest_filter=DdcutilInTestBed.DISABLED_DuolumeSetsDdcutilReads")})
        command.push_back(arg);
    ChildProcess bed(command, {{"PLATFORM_SYSROOT", std::nullopt},
                               {"ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0"}});
    EXPECT_EQ(bed.wait(120.0), 0) << bed.standardOutput() << bed.standardError();
    EXPECT_NE(bed.standardOutput().find("test bed: monitor brightness 37 of 100 after 1 Sets"),
              std::string::npos)
        << bed.standardOutput();
}

INSTANTIATE_TEST_SUITE_P(Buses, RealDdcutil, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NvidiaOwnBus" : "IntelAux"; });

TEST(DdcutilInTestBed, DISABLED_DuolumeSetsDdcutilReads) {
    ASSERT_NE(std::getenv("UMOCKDEV_DIR"), nullptr) << "runs inside the DDC/CI test bed only";
    LoggingLinuxMachine::installNew();
    platform::linux_machine::LinuxAVServices services;
    // A bus that no output names comes in once its EDID has been read.
    std::vector<io_service_t> found;
    for (int i = 0; i < 500 && found.empty(); ++i) {
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, true);
        found = services.services();
    }
    ASSERT_EQ(found.size(), 1u);
    {
        duolume::DdcLink link(services.channel(found[0]));
        std::string why;
        auto before = link.readLuminance(&why);
        ASSERT_TRUE(before) << why;
        EXPECT_EQ(before->current, 50);
        ASSERT_EQ(link.writeLuminance(37), kIOReturnSuccess);
        link.close();
    }
    const std::string detected = ddcutil({"detect", "--terse"});
    EXPECT_NE(detected.find("/dev/i2c-5"), std::string::npos) << detected;
    EXPECT_NE(detected.find("card0-DP-1"), std::string::npos) << detected;
    const std::string read = ddcutil({"getvcp", "10", "--terse"});
    EXPECT_NE(read.find("VCP 10 C 37 100"), std::string::npos) << read;
}
