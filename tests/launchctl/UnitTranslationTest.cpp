// A launch agent file turned into a systemd user unit: the pure translation.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "Foundation/PropertyListSerialization.h"
#include "SystemdUnit.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

using namespace launchctl;
using namespace testing_support;

namespace {

std::string plistBytes(const NSDictionary& job) {
    return platform::xmlPropertyList(PlistValue::dictionary(job));
}

NSDictionary agentJob() {
    return {{"Label", PlistValue::string("org.duolume.Duolume")},
            {"Program", PlistValue::string("/opt/Duolume.app/Contents/MacOS/Duolume")},
            {"RunAtLoad", PlistValue::boolean(true)},
            {"KeepAlive", PlistValue::dictionary({{"SuccessfulExit", PlistValue::boolean(false)}})},
            {"LimitLoadToSessionType", PlistValue::string("Aqua")},
            {"Disabled", PlistValue::boolean(false)}};
}

UnitTranslation translate(const NSDictionary& job) {
    return translateLaunchAgent(plistBytes(job), "/home/u/.local/share/LaunchAgents/job.plist");
}

std::string lineStarting(const std::string& text, const std::string& prefix) {
    auto at = text.find("\n" + prefix);
    if (at == std::string::npos)
        return "";
    auto end = text.find('\n', at + 1);
    return text.substr(at + 1, end - at - 1);
}

TEST(UnitTranslation, TheAgentsJobBecomesALoginServiceRestartedAfterACrash) {
    UnitTranslation t = translate(agentJob());
    ASSERT_TRUE(t.job) << t.error;
    EXPECT_EQ(t.unitName, "org.duolume.Duolume.service");
    EXPECT_EQ(
        t.unitText,
        "# Made by launchctl from /home/u/.local/share/LaunchAgents/job.plist\n"
        "# launchctl load and unload rewrite this file; change the launch agent file instead.\n"
        "[Unit]\n"
        "Description=org.duolume.Duolume\n"
        "SourcePath=/home/u/.local/share/LaunchAgents/job.plist\n"
        "PartOf=graphical-session.target\n"
        "After=graphical-session.target\n"
        "StartLimitIntervalSec=0\n"
        "\n[Service]\n"
        "Type=exec\n"
        "ExecStart=\"/opt/Duolume.app/Contents/MacOS/Duolume\"\n"
        "Restart=on-failure\n"
        "RestartSec=10\n"
        "\n[Install]\n"
        "WantedBy=default.target graphical-session.target\n");
    EXPECT_FALSE(t.job->disabled);
    EXPECT_TRUE(t.job->loadsInSession("Aqua"));
    EXPECT_FALSE(t.job->loadsInSession("Background"));
}

TEST(UnitTranslation, KeepAliveShapesChooseTheRestartPolicy) {
    struct Case {
        const char* what;
        std::optional<PlistValue> keepAlive;
        const char* restart;
    };
    auto dict = [](std::initializer_list<std::pair<const std::string, PlistValue>> d) {
        return PlistValue::dictionary(d);
    };
    const Case cases[] = {
        {"absent", std::nullopt, "Restart=no"},
        {"true", PlistValue::boolean(true), "Restart=always"},
        {"false", PlistValue::boolean(false), "Restart=no"},
        {"after a successful exit", dict({{"SuccessfulExit", PlistValue::boolean(true)}}),
         "Restart=on-success"},
        {"after a failure", dict({{"SuccessfulExit", PlistValue::boolean(false)}}),
         "Restart=on-failure"},
        {"after a crash", dict({{"Crashed", PlistValue::boolean(true)}}), "Restart=on-abort"},
        {"after success or crash",
         dict({{"SuccessfulExit", PlistValue::boolean(true)},
               {"Crashed", PlistValue::boolean(true)}}),
         "Restart=always"},
        {"only conditions without a counterpart",
         dict({{"PathState", dict({{"/tmp/x", PlistValue::boolean(true)}})}}), "Restart=no"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NSDictionary job = agentJob();
        job.erase("RunAtLoad");
        if (c.keepAlive)
            job["KeepAlive"] = *c.keepAlive;
        else
            job.erase("KeepAlive");
        UnitTranslation t = translate(job);
        ASSERT_TRUE(t.job) << t.error;
        EXPECT_EQ(lineStarting(t.unitText, "Restart="), c.restart);
        bool restarts = std::string(c.restart) != "Restart=no";
        EXPECT_EQ(t.unitText.find("RestartSec=10") != std::string::npos, restarts);
        EXPECT_EQ(t.unitText.find("StartLimitIntervalSec=0") != std::string::npos, restarts);
        // Without RunAtLoad only a job to be kept alive starts at login.
        EXPECT_EQ(t.unitText.find("\n[Install]\n") != std::string::npos, restarts);
    }
    NSDictionary job = agentJob();
    job["KeepAlive"] = dict({{"PathState", PlistValue::dictionary({})}});
    EXPECT_EQ(translate(job).job->ignored, (std::vector<std::string>{"KeepAlive.PathState"}));
    job["ThrottleInterval"] = PlistValue::integer(3);
    job["KeepAlive"] = PlistValue::boolean(true);
    EXPECT_EQ(lineStarting(translate(job).unitText, "RestartSec="), "RestartSec=3");
}

TEST(UnitTranslation, ProgramAndArgumentsBecomeOneQuotedCommandLine) {
    NSDictionary job = agentJob();
    job.erase("Program");
    job["ProgramArguments"] =
        PlistValue::array({PlistValue::string("/usr/bin/tool"), PlistValue::string("--level=50%"),
                           PlistValue::string(R"(a "b" c\d)"), PlistValue::string("$HOME"),
                           PlistValue::string(""), PlistValue::string("two\nlines;")});
    EXPECT_EQ(lineStarting(translate(job).unitText, "ExecStart="),
              "ExecStart=\"/usr/bin/tool\" \"--level=50%%\" \"a \\\"b\\\" c\\\\d\" \"$$HOME\" \"\" "
              "\"two\\nlines;\"");
    // With both, Program is run and ProgramArguments is its argument vector.
    job["Program"] = PlistValue::string("/usr/bin/real");
    job["ProgramArguments"] =
        PlistValue::array({PlistValue::string("shown-name"), PlistValue::string("x")});
    EXPECT_EQ(lineStarting(translate(job).unitText, "ExecStart="),
              "ExecStart=\"@/usr/bin/real\" \"shown-name\" \"x\"");
    // Specifiers in the label do not expand in the description.
    job["Label"] = PlistValue::string("org.example.100%");
    EXPECT_EQ(lineStarting(translate(job).unitText, "Description="),
              "Description=org.example.100%%");
}

TEST(UnitTranslation, LabelsAreEscapedIntoValidUnitNames) {
    EXPECT_EQ(unitNameForLabel("org.duolume.Duolume"), "org.duolume.Duolume.service");
    EXPECT_EQ(unitNameForLabel("my agent/1@x"), "my\\x20agent\\x2f1\\x40x.service");
    EXPECT_EQ(unitNameForLabel(".hidden"), "\\x2ehidden.service");
    EXPECT_EQ(unitNameForLabel(std::string(247, 'a')), std::string(247, 'a') + ".service");
    EXPECT_EQ(unitNameForLabel(std::string(248, 'a')), std::nullopt);
}

TEST(UnitTranslation, UnusableFilesAndJobsAreRefusedWithAReason) {
    EXPECT_TRUE(translateLaunchAgent("<plist><dict><key>Label", "/x").invalidPropertyList);
    EXPECT_TRUE(translateLaunchAgent("", "/x").invalidPropertyList);
    struct Case {
        const char* what;
        std::function<void(NSDictionary&)> change;
        const char* reason;
    };
    const Case cases[] = {
        {"no label", [](NSDictionary& j) { j.erase("Label"); }, "Label is missing"},
        {"label not a string", [](NSDictionary& j) { j["Label"] = PlistValue::integer(1); },
         "Label is missing"},
        {"no program", [](NSDictionary& j) { j.erase("Program"); },
         "neither Program nor ProgramArguments"},
        {"relative program",
         [](NSDictionary& j) { j["Program"] = PlistValue::string("bin/agent"); }, "is relative"},
        {"program names a folder",
         [](NSDictionary& j) { j["Program"] = PlistValue::string("/opt/"); }, "names a folder"},
        {"prefix-like name", [](NSDictionary& j) { j["Program"] = PlistValue::string("-agent"); },
         "not usable"},
        {"quote in the path",
         [](NSDictionary& j) { j["Program"] = PlistValue::string("/opt/a\"b"); },
         "quotes, backslashes"},
        {"backslash in the path",
         [](NSDictionary& j) { j["Program"] = PlistValue::string("/opt/a\\b"); },
         "quotes, backslashes"},
        {"arguments not strings",
         [](NSDictionary& j) {
             j["ProgramArguments"] = PlistValue::array({PlistValue::integer(3)});
         },
         "other than a string"},
        {"KeepAlive a string", [](NSDictionary& j) { j["KeepAlive"] = PlistValue::string("yes"); },
         "KeepAlive"},
        {"RunAtLoad a string", [](NSDictionary& j) { j["RunAtLoad"] = PlistValue::string("yes"); },
         "RunAtLoad"},
        {"negative throttle",
         [](NSDictionary& j) { j["ThrottleInterval"] = PlistValue::integer(-1); },
         "ThrottleInterval"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NSDictionary job = agentJob();
        c.change(job);
        UnitTranslation t = translate(job);
        EXPECT_FALSE(t.job);
        EXPECT_FALSE(t.invalidPropertyList);
        EXPECT_NE(t.error.find(c.reason), std::string::npos) << t.error;
    }
    UnitTranslation notADictionary =
        translateLaunchAgent(platform::xmlPropertyList(PlistValue::array({})), "/x");
    EXPECT_NE(notADictionary.error.find("not a dictionary"), std::string::npos);
}

// A user manager's view of a unit file in `dir`, without a user manager: no
// complaint at all, not even a setting it ignores.
int verifyAsUserUnit(const TempDir& dir, const std::string& unitName, std::string* err) {
    return ChildProcess::run(
        {"/usr/bin/systemd-analyze", "--user", "verify", "--man=no", dir / unitName},
        {{"XDG_RUNTIME_DIR", dir.path()},
         {"HOME", dir.path()},
         {"XDG_CONFIG_HOME", dir / "config"}},
        err);
}

// systemd itself reads the units back: the quoted program path must name the
// very file, whatever characters it holds.
TEST(UnitTranslation, SystemdAcceptsTheUnitsAndFindsTheProgram) {
    if (::access("/usr/bin/systemd-analyze", X_OK) != 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
    TempDir dir;
    const std::string program = dir / "odd dir 100% $HOME/agent";
    writeFile(program, "#!/bin/sh\n");
    ::chmod(program.c_str(), 0755);
    NSDictionary job = agentJob();
    job["Program"] = PlistValue::string(program);
    job["ProgramArguments"] =
        PlistValue::array({PlistValue::string("agent"), PlistValue::string(R"(50% $x "q" \)")});
    UnitTranslation t = translate(job);
    ASSERT_TRUE(t.job) << t.error;
    writeFile(dir / t.unitName, t.unitText);
    std::string err;
    EXPECT_EQ(verifyAsUserUnit(dir, t.unitName, &err), 0) << err;
    EXPECT_EQ(err, "");
    // A wrongly escaped path would name another, missing file.
    ::unlink(program.c_str());
    EXPECT_NE(verifyAsUserUnit(dir, t.unitName, &err), 0);
    EXPECT_NE(err.find("100% $HOME"), std::string::npos) << err;
}

}  // namespace

namespace {

std::vector<std::string> wantedBy(const std::string& root, const std::string& unitName) {
    std::vector<std::string> targets;
    for (const char* target : {"default.target", "graphical-session.target"}) {
        struct stat st {};
        if (::lstat((root + "/etc/systemd/user/" + target + ".wants/" + unitName).c_str(), &st) ==
            0)
            targets.push_back(target);
    }
    return targets;
}

// The template shipped in the pane bundle, as setupDaemon fills it in, read
// by systemd's own tools: a user manager accepts the unit as it is, and
// enabling it makes default.target, which every user manager starts at login,
// want it; disabling takes that back.
TEST(UnitTranslation, TheShippedTemplateMakesARestartingServiceStartedAtEveryLogin) {
    auto job = dictionaryWithContentsOfFile(
        DUOLUME_BINARY_DIR "/Duolume.prefPane/Contents/Resources/org.duolume.Duolume.plist");
    ASSERT_TRUE(job);
    (*job)["Program"] = PlistValue::string(
        DUOLUME_BINARY_DIR
        "/Duolume.prefPane/Contents/Resources/Duolume.app/Contents/MacOS/Duolume");
    (*job)["Disabled"] = PlistValue::boolean(false);
    UnitTranslation t = translate(*job);
    ASSERT_TRUE(t.job) << t.error;
    EXPECT_EQ(t.unitName, "org.duolume.Duolume.service");
    EXPECT_EQ(lineStarting(t.unitText, "Restart="), "Restart=on-failure");
    EXPECT_TRUE(t.job->loadsInSession("Aqua"));
    EXPECT_TRUE(t.job->ignored.empty());

    if (::access("/usr/bin/systemd-analyze", X_OK) != 0 || ::access("/bin/systemctl", X_OK) != 0)
        GTEST_SKIP() << "systemd-analyze or systemctl is not installed";
    TempDir dir;
    writeFile(dir / t.unitName, t.unitText);
    std::string err;
    EXPECT_EQ(verifyAsUserUnit(dir, t.unitName, &err), 0) << err;
    EXPECT_EQ(err, "");
    // systemctl offline, on a root of its own: what enable and disable link.
    const std::string root = dir / "root";
    writeFile(root + "/etc/systemd/user/" + t.unitName, t.unitText);
    auto systemctl = [&](const char* verb) {
        return ChildProcess::run({"/bin/systemctl", "--global", "--root=" + root, verb, t.unitName},
                                 {}, &err);
    };
    ASSERT_EQ(systemctl("enable"), 0) << err;
    EXPECT_EQ(wantedBy(root, t.unitName),
              (std::vector<std::string>{"default.target", "graphical-session.target"}));
    ASSERT_EQ(systemctl("disable"), 0) << err;
    EXPECT_TRUE(wantedBy(root, t.unitName).empty());
}

}  // namespace
