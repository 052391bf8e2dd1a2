// A writer killed at random moments never leaves a torn settings file.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include "Foundation/PropertyListSerialization.h"
#include "linux/LinuxMachine.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

using namespace duolume;
using namespace testing_support;

TEST(SettingsCrash, FileParsesAndHoldsEveryKeyAfterEachSigkill) {
    TempDir home;
    ScopedEnv config("XDG_CONFIG_HOME", home.path());
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home / "no-bus");
    platform::linux_machine::LinuxMachine::installNew();
    writeInitialSettings(initialSettings());
    const std::string path = home / (ProductIdentifier + ".plist");

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(0, 3000);  // microseconds
    int roundsWithNewValue = 0;
    for (int round = 0; round < 200; ++round) {
        // The writer says when its first write is done, so that the kill lands in the middle
        // of its writing however slowly a loaded (or sanitized) machine starts it.
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            platform::linux_machine::LinuxMachine::installNew();
            for (long i = 0;; ++i) {
                setPrefsForKey(PlistValue::real((i % 100) / 100.0), "internal5");
                if (i == 0 && write(ready[1], "w", 1) != 1) _exit(1);
            }
        }
        close(ready[1]);
        pollfd started{ready[0], POLLIN, 0};
        ASSERT_EQ(poll(&started, 1, 30000), 1) << "writer never wrote in round " << round;
        close(ready[0]);
        usleep(pause(random));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        auto value = platform::readPropertyListFile(path);
        ASSERT_TRUE(value && value->dictionaryValue()) << "torn file after round " << round;
        ASSERT_EQ(value->dictionaryValue()->size(), 24u) << "round " << round;
        if (*value->dictionaryValue()->at("internal5").doubleValue() != static_cast<double>(0.5f))
            ++roundsWithNewValue;
    }
    // The writer really got to write in most rounds.
    EXPECT_GT(roundsWithNewValue, 20);
}

TEST(SettingsCrash, TwoWritersAtOnceNeverLeaveATornFileForAReader) {
    TempDir home;
    ScopedEnv config("XDG_CONFIG_HOME", home.path());
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home / "no-bus");
    platform::linux_machine::LinuxMachine::installNew();
    writeInitialSettings(initialSettings());
    const std::string path = home / (ProductIdentifier + ".plist");

    std::vector<pid_t> writers;
    for (const char* key : {"internal2", "external8"}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            platform::linux_machine::LinuxMachine::installNew();
            for (long i = 0;; ++i) setPrefsForKey(PlistValue::real((i % 10) / 10.0), key);
        }
        writers.push_back(child);
    }
    int reads = 0;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
         std::chrono::steady_clock::now() < end; ++reads) {
        auto value = platform::readPropertyListFile(path);
        ASSERT_TRUE(value && value->dictionaryValue()) << "torn file at read " << reads;
        ASSERT_EQ(value->dictionaryValue()->size(), 24u);
    }
    for (pid_t w : writers) {
        kill(w, SIGKILL);
        waitpid(w, nullptr, 0);
    }
    EXPECT_GT(reads, 10);
}
