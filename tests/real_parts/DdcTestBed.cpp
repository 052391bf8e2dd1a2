#include "real_parts/DdcTestBed.h"

#include <unistd.h>

#include "support/UdevTestBed.h"

namespace testing_support {

std::string whyDdcutilCannotRun() {
    std::string why = UdevTestBed::whyNotRunnable();
    if (why.empty() && ::access(kDdcutil, X_OK) != 0)
        why = std::string(kDdcutil) + " is not installed (Debian package ddcutil)";
    return why;
}

std::unique_ptr<ChildProcess> runInDdcTestBed(const std::vector<std::string>& bedArguments,
                                              const std::string& inBed) {
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return nullptr;
    std::vector<std::string> command{"/usr/bin/umockdev-wrapper", "/usr/bin/python3",
                                     DUOLUME_SOURCE_DIR "/tests/support/ddc-test-bed"};
    command.insert(command.end(), bedArguments.begin(), bedArguments.end());
    command.insert(command.end(),
                   {"--", self, "--gtest_also_run_disabled_tests", "--gtest_filter=" + inBed});
    return std::make_unique<ChildProcess>(
        command, std::map<std::string, std::optional<std::string>>{
                     {"PLATFORM_SYSROOT", std::nullopt},
                     {"ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0"}});
}

}  // namespace testing_support
