// Where the task launcher finds the platform's own launchctl: the
// installation's own folder before the shared libexec folder, the build
// tree's libexec beside bin, and the configured folder when neither holds it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "linux/foundation/LinuxTasks.h"
#include "support/TempDir.h"

using platform::linux_machine::locatePlatformProgram;
using testing_support::TempDir;

namespace {

void writeProgram(const std::string& path) {
    testing_support::writeFile(path, "#!/bin/sh\n");
    chmod(path.c_str(), 0755);
}

std::string locate(const std::string& runningProgram) {
    return locatePlatformProgram(runningProgram, "launchctl", "../libexec/duolume",
                                 "/opt/configured/libexec/duolume");
}

}  // namespace

TEST(PlatformProgram, InstalledProgramComesFromItsOwnFolderNeverTheSharedOne) {
    TempDir dir;
    writeProgram(dir / "usr/libexec/launchctl");  // another package's program of the same name
    writeProgram(dir / "usr/libexec/duolume/launchctl");
    EXPECT_EQ(locate(dir / "usr/bin/prefpane-host"), dir / "usr/libexec/duolume/launchctl");
}

TEST(PlatformProgram, BuildTreeKeepsItInLibexecBesideBinElseTheConfiguredFolder) {
    TempDir dir;
    writeProgram(dir / "build/libexec/launchctl");
    EXPECT_EQ(locate(dir / "build/bin/prefpane-host"), dir / "build/libexec/launchctl");

    testing_support::writeFile(dir / "moved/libexec/duolume/launchctl", "not executable");
    EXPECT_EQ(locate(dir / "moved/bin/prefpane-host"), "/opt/configured/libexec/duolume/launchctl");
    EXPECT_EQ(locate(""), "/opt/configured/libexec/duolume/launchctl");
}
