// The real ddcutil (Debian's package: 1.4.1 on Debian 12, 2.2.0 on Debian 13)
// as the check on the DDC/CI test monitor: in a umockdev test bed whose
// /dev/i2c-5 answers i2c-dev's calls, ioctls among them
// (tests/support/ddc-test-bed), Duolume's Linux machine finds the monitor and
// sets it; then ddcutil, under the same test bed, detects it on that bus and
// reads what Duolume set. Twice: on an Intel output's AUX adapter, and on an
// NVIDIA card's own bus that no output names (found by the EDID at 0x50).
#include <gtest/gtest.h>

#include <cstdlib>

#include "CoreFoundation/CFRunLoop.h"
#include "engine/DdcLink.h"
#include "linux/ddc/LinuxAVServices.h"
#include "real_parts/DdcTestBed.h"
#include "support/ChildProcess.h"
#include "support/LoggingLinuxMachine.h"

using namespace testing_support;

namespace {

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
    if (auto why = whyDdcutilCannotRun(); !why.empty())
        GTEST_SKIP() << why;
    std::vector<std::string> bedArguments{kEdid, "50"};
    if (GetParam())
        bedArguments.insert(bedArguments.begin(), "--nvidia");
    auto bed = runInDdcTestBed(bedArguments, "DdcutilInTestBed.DISABLED_DuolumeSetsDdcutilReads");
    ASSERT_TRUE(bed);
    EXPECT_EQ(bed->wait(120.0), 0) << bed->standardOutput() << bed->standardError();
    EXPECT_NE(bed->standardOutput().find("test bed: monitor brightness 37 of 100 after 1 Sets"),
              std::string::npos)
        << bed->standardOutput();
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
