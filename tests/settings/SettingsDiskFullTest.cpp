// A full disk during a write leaves the old settings file whole.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>

#include "Foundation/PropertyListSerialization.h"
#include "linux/LinuxMachine.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsStore.h"
#include "support/LogLines.h"
#include "support/TempDir.h"

using namespace duolume;
using namespace testing_support;

namespace {

// A small tmpfs mounted over a temporary folder (needs root).
class SmallFileSystem {
  public:
    explicit SmallFileSystem(const std::string& at) : at_(at) {
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=16k,mode=0700") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    std::string at_;
    bool mounted_ = false;
};

}  // namespace

TEST(SettingsDiskFull, FailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    SmallFileSystem fs(dir.path());
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    ScopedEnv config("XDG_CONFIG_HOME", dir.path());
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    auto& machine = platform::linux_machine::LinuxMachine::installNew();
    std::vector<std::string> log;
    machine.logObserver = [&](const std::string& l) { log.push_back(l); };

    writeInitialSettings(initialSettings());
    const std::string path = dir / (ProductIdentifier + ".plist");
    const std::string before = readFile(path);
    ASSERT_FALSE(before.empty());
    // Fill the file system so the next domain cannot be written.
    {
        std::string filler(4096, 'x');
        for (int i = 0; i < 64; ++i) {
            try {
                writeFile(dir / ("filler" + std::to_string(i)), filler);
            } catch (...) {
                break;
            }
        }
    }
    // A long value makes the new domain larger than what is left.
    setPrefsForKey(PlistValue::string(std::string(8192, 'v')), "internal5");
    EXPECT_EQ(readFile(path), before);
    auto parsed = platform::readPropertyListFile(path);
    ASSERT_TRUE(parsed && parsed->dictionaryValue());
    EXPECT_EQ(parsed->dictionaryValue()->size(), 24u);
    EXPECT_TRUE(anyLineHolds(log, "could not be written"));
    for (int i = 0; i < 64; ++i)
        std::remove((dir / ("filler" + std::to_string(i))).c_str());
    // No temporary file is left behind by the failed write (the update lock's
    // file stays by design).
    int leftovers = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) {
        const auto name = e.path().filename().string();
        if (name.rfind(ProductIdentifier + ".plist.", 0) == 0 &&
            name != ProductIdentifier + ".plist.lock")
            ++leftovers;
    }
    EXPECT_EQ(leftovers, 0);
}
