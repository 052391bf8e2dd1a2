// Two preferences windows, each in its own process with the Duolume pane,
// moving sliders at the same time over the real settings file: a reader never
// meets a torn or partial file, and both panes' last values are stored.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "Foundation/PropertyListSerialization.h"
#include "linux/foundation/LinuxDefaults.h"
#include "pane/PaneHarness.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsStore.h"

using namespace testing_support;

namespace {

// A pane process: drags `slider` through `moves` positions, ends on `last`
// and exits. Qt starts in the child only; the test process never starts it.
pid_t paneProcess(const std::string& slider, int moves, int last) {
    pid_t child = fork();
    if (child != 0)
        return child;
    {
        PaneHarness h;
        h.sim().useDefaultsStorage(
            std::make_unique<platform::linux_machine::LinuxDefaults>(h.sim()));
        h.open();
        for (int i = 0; i < moves; ++i)
            h.dragSlider(slider, (i * 37) % 1000);
        h.dragSlider(slider, last);
        if (h.notice())
            _exit(3);  // the stored settings were not read: the notice came up
    }
    _exit(0);
}

}  // namespace

TEST(TwoPanes, WritingAtOnceNeverTearTheFileNorLoseEitherPanesLastValue) {
    TempDir home;
    ScopedEnv config("XDG_CONFIG_HOME", home.path());
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home / "no-bus");
    const std::string path = home / (duolume::ProductIdentifier + ".plist");
    NSDictionary initial = duolume::initialSettings();
    initial["enabled"] = PlistValue::boolean(true);  // the agent applies the curve
    initial["suppressHardwareWarning"] = PlistValue::boolean(true);
    ASSERT_TRUE(writeToFile(initial, path, true));

    const pid_t first = paneProcess("internal2", 300, 110);
    const pid_t second = paneProcess("external8", 300, 880);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);

    int reads = 0;
    int exited = 0;
    while (exited < 2) {
        auto value = platform::readPropertyListFile(path);
        ASSERT_TRUE(value && value->dictionaryValue()) << "torn file at read " << reads;
        ASSERT_EQ(value->dictionaryValue()->size(), initial.size()) << "read " << reads;
        ++reads;
        int status = 0;
        pid_t done = waitpid(-1, &status, WNOHANG);
        if (done > 0) {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "pane process " << done;
            ++exited;
        }
    }
    EXPECT_GT(reads, 10);

    // Each update holds the settings lock from its read to its write, so
    // neither pane's last value is lost to the other's whole-domain write.
    const auto stored = platform::readPropertyListFile(path);
    ASSERT_TRUE(stored && stored->dictionaryValue());
    const auto* domain = stored->dictionaryValue();
    EXPECT_EQ(domain->size(), initial.size());
    EXPECT_EQ(domain->at("internal2"), PlistValue::real(0.11));
    EXPECT_EQ(domain->at("external8"), PlistValue::real(0.88));
}
