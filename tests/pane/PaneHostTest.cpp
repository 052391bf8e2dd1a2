// The preferences host as users start it: the bundle's shared object loaded
// by its principal class, on the real (Linux) machine, here on an empty
// virtual laptop with a private session bus.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include "AppKit/PreferencePaneLoader.h"
#include "Foundation/PropertyListSerialization.h"
#include "pane/PaneHarness.h"
#include "settings/SettingsStore.h"
#include "support/PrivateBus.h"

extern char** environ;

namespace {

int run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(PaneHost, ScreenshotOfTheBuiltBundleOnTheLinuxMachine) {
    testing_support::TempDir dir;
    testing_support::PrivateBus bus;
    testing_support::ScopedEnv platformEnv("QT_QPA_PLATFORM", "offscreen");
    testing_support::ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
    testing_support::ScopedEnv data("XDG_DATA_HOME", dir / "data");
    testing_support::ScopedEnv sysroot("PLATFORM_SYSROOT", dir / "root");
    testing_support::writeFile(dir / "root/sys/class/.keep", "");
    const std::string shot = dir / "shot.png";
    ASSERT_EQ(run({std::string(DUOLUME_BINARY_DIR) + "/bin/prefpane-host", "--screenshot", shot,
                   testing_support::builtBundlePath()}),
              0);
    EXPECT_EQ(testing_support::readFile(shot).substr(0, 8), "\x89PNG\r\n\x1a\n");
    // The first load stored the initial settings in the user's settings file.
    auto stored = dictionaryWithContentsOfFile(dir / "config/org.duolume.Duolume.plist");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), 24u);
}

TEST(PaneHost, BundlesThatCannotBeLoadedSayWhy) {
    platform::sim::SimMachine::installNew();
    testing_support::TempDir dir;
    std::string error;
    EXPECT_FALSE(loadPreferencePane(dir / "Missing.prefPane", &error));
    EXPECT_NE(error.find("no bundle"), std::string::npos);

    testing_support::writeFile(
        dir / "A.prefPane/Contents/Info.plist",
        "<plist "
        "version=\"1.0\"><dict><key>CFBundleExecutable</key><string>A</string></dict></plist>");
    EXPECT_FALSE(loadPreferencePane(dir / "A.prefPane", &error));
    EXPECT_NE(error.find("NSPrincipalClass"), std::string::npos) << error;

    testing_support::writeFile(
        dir / "B.prefPane/Contents/Info.plist",
        "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>B</string>"
        "<key>NSPrincipalClass</key><string>Nope</string></dict></plist>");
    EXPECT_FALSE(loadPreferencePane(dir / "B.prefPane", &error));
    EXPECT_NE(error.find("no executable"), std::string::npos) << error;

    testing_support::writeFile(dir / "B.prefPane/Contents/MacOS/B.so", "not an ELF file");
    EXPECT_FALSE(loadPreferencePane(dir / "B.prefPane", &error));
    EXPECT_FALSE(error.empty());
}
