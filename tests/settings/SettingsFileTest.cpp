// The settings domain as a real file in a temporary XDG_CONFIG_HOME, with
// change notifications on a private session bus.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Foundation/PropertyListSerialization.h"
#include "linux/LinuxMachine.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsStore.h"
#include "support/DamagedPropertyLists.h"
#include "support/LogLines.h"
#include "support/PrivateBus.h"
#include "support/SignalCounter.h"
#include "support/TempDir.h"

using namespace duolume;
using namespace testing_support;
using platform::linux_machine::LinuxMachine;

namespace {

class SettingsFile : public ::testing::Test {
  protected:
    SettingsFile() : config_("XDG_CONFIG_HOME", home_.path()) {
        machine_ = &LinuxMachine::installNew();
        machine_->logObserver = [this](const std::string& line) { log_.push_back(line); };
    }
    std::string domainPath() const { return home_ / (ProductIdentifier + ".plist"); }
    NSDictionary readBack() const {
        auto v = platform::readPropertyListFile(domainPath());
        EXPECT_TRUE(v && v->dictionaryValue()) << "the domain file must parse";
        return v && v->dictionaryValue() ? *v->dictionaryValue() : NSDictionary{};
    }

    TempDir home_;
    ScopedEnv config_;
    PrivateBus bus_;
    LinuxMachine* machine_ = nullptr;
    std::vector<std::string> log_;
};

}  // namespace

TEST_F(SettingsFile, OneWriteChangesOneKeyKeepsTheRestAndPostsOneSignalWithoutObject) {
    writeInitialSettings(initialSettings());
    SignalCounter signals;
    setPrefsForKey(PlistValue::real(0.25), "internal3");
    auto expected = initialSettings();
    expected["internal3"] = PlistValue::real(0.25);
    auto stored = readBack();
    ASSERT_EQ(stored.size(), 24u);
    for (const auto& [key, value] : expected)
        EXPECT_EQ(*stored.at(key).doubleValue(), *value.doubleValue()) << key;
    const auto& got = signals.waitFor(1);
    signals.settle();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name, "org.duolume.Duolume.prefsChanged");
    EXPECT_EQ(got[0].object, "");
    struct stat st {};
    ASSERT_EQ(stat(domainPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsFile, SameValueTwicePostsTwice) {
    SignalCounter signals;
    setPrefsForKey(PlistValue::integer(1), "enabled");
    setPrefsForKey(PlistValue::integer(1), "enabled");
    EXPECT_EQ(signals.waitFor(2).size(), 2u);
}

TEST_F(SettingsFile, WriteToAbsentDomainLeavesOnlyThatKey) {
    setPrefsForKey(PlistValue::boolean(true), "suppressHardwareWarning");
    auto stored = readBack();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.at("suppressHardwareWarning"), PlistValue::boolean(true));
}

TEST_F(SettingsFile, InitialSettingsStoreTheSinglePrecisionValues) {
    writeInitialSettings(initialSettings());
    auto stored = readBack();
    ASSERT_EQ(stored.size(), 24u);
    EXPECT_EQ(*stored.at("internal1").doubleValue(), 0.10000000149011612);
    EXPECT_EQ(stored.at("enabled"), PlistValue::boolean(false));
}

TEST_F(SettingsFile, AValueWrittenByAnotherProcessIsSeenByTheNextRead) {
    writeInitialSettings(initialSettings());
    EXPECT_EQ(settingsDouble(fetchSettings(), "external7"), static_cast<double>(0.7f));
    pid_t child = fork();
    if (child == 0) {
        LinuxMachine::installNew();
        setPrefsForKey(PlistValue::real(0.33), "external7");
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(settingsDouble(fetchSettings(), "external7"), 0.33);
}

// Reads reuse the last parse only for identical bytes: a change made in place,
// with the same size and within the same clock tick, is still seen, and so is
// damage that follows a good read.
TEST_F(SettingsFile, EveryReadSeesTheBytesOnDiskEvenWhenChangedInPlace) {
    writeInitialSettings(initialSettings());
    const std::string before = readFile(domainPath());
    EXPECT_EQ(fetchSettings(), fetchSettings());
    std::string after = before;
    const auto at = after.find("<real>0.69999998807907104</real>");
    ASSERT_NE(at, std::string::npos) << after;
    after.replace(at, 32, "<real>0.19999998807907104</real>");
    ASSERT_EQ(after.size(), before.size());
    {
        // In place: same inode, same size.
        FILE* f = std::fopen(domainPath().c_str(), "r+");
        ASSERT_NE(f, nullptr);
        std::fwrite(after.data(), 1, after.size(), f);
        std::fclose(f);
    }
    EXPECT_DOUBLE_EQ(settingsDouble(fetchSettings(), "external7"), 0.19999998807907104);
    EXPECT_EQ(settingsDouble(fetchSettings(), "internal7"), static_cast<double>(0.7f));
    writeFile(domainPath(), before.substr(0, before.size() / 2));
    EXPECT_FALSE(fetchSettings().has_value());
    EXPECT_TRUE(fileExists(domainPath() + ".damaged"));
}

TEST_F(SettingsFile, DamagedFilesAreKeptAsideAndReadAsAbsent) {
    const std::vector<std::string> damages = {
        "<?xml version=\"1.0\"?><plist><dict><key>enabled</key><true/>",  // truncated
        std::string("\x00\xff\x13garbage\x01", 11),                       // binary garbage
        "<plist version=\"1.0\"><array><real>1</real></array></plist>",   // not a dictionary
        binaryPropertyListWithANulInAKey(),  // a key holding a NUL byte
    };
    for (const auto& damage : damages) {
        writeFile(domainPath(), damage);
        log_.clear();
        EXPECT_FALSE(fetchSettings().has_value());
        ASSERT_TRUE(fileExists(domainPath() + ".damaged"));
        EXPECT_EQ(readFile(domainPath() + ".damaged"), damage);
        EXPECT_FALSE(fileExists(domainPath()));
        ASSERT_EQ(log_.size(), 1u);
        EXPECT_NE(log_[0].find(".damaged"), std::string::npos) << log_[0];
        // The next write starts a fresh domain and keeps the damaged copy.
        setPrefsForKey(PlistValue::real(0.5), "internal5");
        EXPECT_EQ(readBack().size(), 1u);
        std::remove((domainPath() + ".damaged").c_str());
    }
}

TEST_F(SettingsFile, EarlierDamagedCopiesAreNeverOverwritten) {
    writeFile(domainPath(), "first damage");
    fetchSettings();
    writeFile(domainPath(), "second damage");
    fetchSettings();
    EXPECT_EQ(readFile(domainPath() + ".damaged"), "first damage");
    EXPECT_EQ(readFile(domainPath() + ".damaged.2"), "second damage");
}

TEST_F(SettingsFile, AFolderInPlaceOfTheFileIsLeftAloneAndReadsAsAbsent) {
    ASSERT_EQ(mkdir(domainPath().c_str(), 0700), 0);
    writeFile(domainPath() + "/keep", "x");
    EXPECT_FALSE(fetchSettings().has_value());
    setPrefsForKey(PlistValue::real(0.5), "internal5");
    EXPECT_EQ(readFile(domainPath() + "/keep"), "x");
    EXPECT_FALSE(log_.empty());
}

TEST_F(SettingsFile, AnUnreadableFileIsNotReplacedByAOneKeyDomain) {
    writeInitialSettings(initialSettings());
    // Root reads a file of mode 000, so the scenario runs as an ordinary user.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0) {
            if (chown(home_.path().c_str(), 65534, 65534) != 0 ||
                chown(domainPath().c_str(), 65534, 65534) != 0 || setgid(65534) != 0 ||
                setuid(65534) != 0)
                _exit(3);
        }
        if (chmod(domainPath().c_str(), 0) != 0)
            _exit(4);
        LinuxMachine::installNew();
        setPrefsForKey(PlistValue::real(0.5), "internal5");
        _exit(fetchSettings().has_value() ? 5 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    chmod(domainPath().c_str(), 0600);
    EXPECT_EQ(readBack().size(), 24u);
}

TEST_F(SettingsFile, WithoutABusTheWriteIsStoredAndOneLineIsLogged) {
    bus_.stop();
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home_ / "no-such-bus");
    EXPECT_NO_THROW(setPrefsForKey(PlistValue::real(0.5), "internal5"));
    EXPECT_EQ(readBack().size(), 1u);
    EXPECT_TRUE(anyLineHolds(log_, "not posted"));
}
