// The platform's launchctl as a program, against a fake systemctl on PATH
// that records its arguments.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Foundation/PropertyListSerialization.h"
#include "support/ChildProcess.h"
#include "support/DamagedPropertyLists.h"
#include "support/TempDir.h"

using namespace testing_support;

namespace {

class Launchctl : public ::testing::Test {
  protected:
    void SetUp() override {
        // Records every call; daemon-reload exits with $FAKE_RELOAD_STATUS.
        writeFile(dir / "bin/systemctl",
                  "#!/bin/sh\n"
                  "echo \"$*\" >> \"$SYSTEMCTL_LOG\"\n"
                  "[ \"$2\" = daemon-reload ] && exit \"${FAKE_RELOAD_STATUS:-0}\"\n"
                  "exit 0\n");
        ::chmod((dir / "bin/systemctl").c_str(), 0755);
        writeJob(true, false);
    }
    void writeJob(bool runAtLoad, bool disabled) {
        writeFile(jobFile, platform::xmlPropertyList(PlistValue::dictionary(
                               {{"Label", PlistValue::string("org.duolume.Duolume")},
                                {"Program", PlistValue::string("/opt/Duolume")},
                                {"RunAtLoad", PlistValue::boolean(runAtLoad)},
                                {"LimitLoadToSessionType", PlistValue::string("Aqua")},
                                {"Disabled", PlistValue::boolean(disabled)}})));
    }
    int launchctl(std::vector<std::string> args) {
        args.insert(args.begin(), DUOLUME_BINARY_DIR "/libexec/launchctl");
        return ChildProcess::run(args, environment, &stderrText);
    }
    std::string systemctlCalls() const {
        return fileExists(dir / "calls") ? readFile(dir / "calls") : "";
    }

    TempDir dir;
    std::string jobFile = dir / "LaunchAgents/org.duolume.Duolume.plist";
    std::string unitFile = dir / "config/systemd/user/org.duolume.Duolume.service";
    std::map<std::string, std::optional<std::string>> environment = {
        {"PATH", dir / "bin"},
        {"SYSTEMCTL_LOG", dir / "calls"},
        {"XDG_CONFIG_HOME", dir / "config"},
        {"HOME", dir.path()}};
    std::string stderrText;
};

TEST_F(Launchctl, LoadWritesTheUnitReloadsAndEnablesIt) {
    EXPECT_EQ(launchctl({"load", "-S", "Aqua", jobFile}), 0) << stderrText;
    EXPECT_EQ(systemctlCalls(),
              "--user daemon-reload\n--user enable --now org.duolume.Duolume.service\n");
    std::string unit = readFile(unitFile);
    EXPECT_NE(unit.find("ExecStart=\"/opt/Duolume\"\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("SourcePath=" + jobFile + "\n"), std::string::npos) << unit;
    EXPECT_EQ(stderrText, "");
}

TEST_F(Launchctl, UnloadDisablesAndStopsTheUnitAndKeepsItsFile) {
    ASSERT_EQ(launchctl({"load", "-S", "Aqua", jobFile}), 0) << stderrText;
    writeJob(true, true);
    EXPECT_EQ(launchctl({"unload", "-S", "Aqua", jobFile}), 0) << stderrText;
    EXPECT_EQ(systemctlCalls(),
              "--user daemon-reload\n--user enable --now org.duolume.Duolume.service\n"
              "--user daemon-reload\n--user disable --now org.duolume.Duolume.service\n");
    EXPECT_TRUE(fileExists(unitFile));
}

TEST_F(Launchctl, ADisabledJobIsNotLoadedUnlessOverridden) {
    writeJob(true, true);
    EXPECT_EQ(launchctl({"load", "-S", "Aqua", jobFile}), 119);
    EXPECT_NE(stderrText.find("Load failed: 119: Service is disabled"), std::string::npos)
        << stderrText;
    EXPECT_NE(stderrText.find("\"Disabled\" is true"), std::string::npos) << stderrText;
    EXPECT_EQ(systemctlCalls(), "");
    EXPECT_FALSE(fileExists(unitFile));

    EXPECT_EQ(launchctl({"load", "-w", "-S", "Aqua", jobFile}), 0) << stderrText;
    EXPECT_EQ(systemctlCalls(),
              "--user daemon-reload\n--user enable --now org.duolume.Duolume.service\n");
}

TEST_F(Launchctl, AJobThatDoesNotStartAtLoadIsOnlyMadeKnown) {
    writeJob(false, false);
    EXPECT_EQ(launchctl({"load", jobFile}), 0) << stderrText;
    EXPECT_EQ(systemctlCalls(), "--user daemon-reload\n");
    EXPECT_EQ(readFile(unitFile).find("[Install]"), std::string::npos);
}

TEST_F(Launchctl, MissingDamagedAndUnknownFilesFailWithLaunchdsNumbers) {
    EXPECT_EQ(launchctl({"load", "-S", "Aqua", dir / "nothing.plist"}), 2);
    EXPECT_NE(stderrText.find("Load failed: 2: No such file or directory"), std::string::npos)
        << stderrText;

    writeFile(jobFile, "<?xml version=\"1.0\"?><plist><dict><key>Label</key>");
    EXPECT_EQ(launchctl({"load", "-S", "Aqua", jobFile}), 5);
    EXPECT_NE(stderrText.find(jobFile + ": Invalid property list"), std::string::npos)
        << stderrText;
    EXPECT_NE(stderrText.find("Load failed: 5: Input/output error"), std::string::npos)
        << stderrText;

    writeFile(jobFile, testing_support::binaryPropertyListWithANulInAKey());  // once an abort
    EXPECT_EQ(launchctl({"load", "-S", "Aqua", jobFile}), 5);
    EXPECT_NE(stderrText.find(jobFile + ": Invalid property list"), std::string::npos)
        << stderrText;

    writeFile(jobFile, platform::xmlPropertyList(
                           PlistValue::dictionary({{"Label", PlistValue::string("x")}})));
    EXPECT_EQ(launchctl({"load", "-S", "Aqua", jobFile}), 5);
    EXPECT_NE(stderrText.find("Invalid job: neither Program nor ProgramArguments"),
              std::string::npos);

    writeJob(true, true);  // never loaded
    EXPECT_EQ(launchctl({"unload", "-S", "Aqua", jobFile}), 113);
    EXPECT_NE(stderrText.find("Unload failed: 113: Could not find specified service"),
              std::string::npos);
    EXPECT_EQ(systemctlCalls(), "");
}

TEST_F(Launchctl, WithoutAUserManagerItSaysSoAndFails) {
    environment["FAKE_RELOAD_STATUS"] = "1";
    EXPECT_EQ(launchctl({"load", "-S", "Aqua", jobFile}), 5);
    EXPECT_NE(stderrText.find("no systemd user manager is reachable"), std::string::npos)
        << stderrText;
    EXPECT_EQ(systemctlCalls(), "--user daemon-reload\n");

    environment["PATH"] = dir / "empty";
    EXPECT_EQ(launchctl({"load", "-S", "Aqua", jobFile}), 5);
    EXPECT_NE(stderrText.find("systemctl is not on PATH"), std::string::npos) << stderrText;
}

TEST_F(Launchctl, WrongCommandLinesShowTheUsage) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{},
                                               {"bootstrap", jobFile},
                                               {"load"},
                                               {"load", "-S"},
                                               {"load", "-S", "Background", jobFile},
                                               {"unload", "-F", jobFile},
                                               {"load", "-x", jobFile}}) {
        EXPECT_EQ(launchctl(args), 64);
        EXPECT_NE(stderrText.find("Usage: launchctl load"), std::string::npos) << stderrText;
    }
    EXPECT_EQ(systemctlCalls(), "");
}

}  // namespace
