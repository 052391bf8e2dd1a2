// Switching the background agent on and off: the launch agent file written
// from the pane bundle's template, then launchctl, on the simulated machine
// with real files in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "Foundation/NSBundle.h"
#include "Foundation/PropertyListSerialization.h"
#include "settings/AgentInstallation.h"
#include "sim/SimMachine.h"
#include "support/DamagedPropertyLists.h"
#include "support/TempDir.h"

using platform::sim::SimMachine;
using platform::sim::SimTasks;
using namespace testing_support;

namespace {

class AgentInstallation : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(agentApp + "/Contents/Info.plist",
                  platform::xmlPropertyList(PlistValue::dictionary(
                      {{"CFBundleExecutable", PlistValue::string("Duolume")}})));
        writeFile(agentExecutable, "#!/bin/sh\n");
        writeTemplate({{"Label", PlistValue::string("org.duolume.Duolume")},
                       {"RunAtLoad", PlistValue::boolean(true)},
                       {"KeepAlive",
                        PlistValue::dictionary({{"SuccessfulExit", PlistValue::boolean(false)}})},
                       {"Program", PlistValue::string("/old/path")},
                       {"Disabled", PlistValue::boolean(true)}});
        ::mkdir(library.c_str(), 0755);
        sim.libraryFolder = library;
    }
    void writeTemplate(const NSDictionary& job) {
        writeFile(templatePath, platform::xmlPropertyList(PlistValue::dictionary(job)));
    }
    NSDictionary writtenJob() const {
        auto job = dictionaryWithContentsOfFile(launchAgentFile);
        EXPECT_TRUE(job) << "no launch agent file at " << launchAgentFile;
        return job.value_or(NSDictionary{});
    }
    void setupDaemon(bool enabled) {
        duolume::setupDaemon(*NSBundle::bundleWithPath(pane), enabled);
    }

    TempDir dir;
    SimMachine& sim = SimMachine::installNew();
    std::string pane = dir / "Duolume.prefPane";
    std::string agentApp = pane + "/Contents/Resources/Duolume.app";
    std::string agentExecutable = agentApp + "/Contents/MacOS/Duolume";
    std::string templatePath = pane + "/Contents/Resources/org.duolume.Duolume.plist";
    std::string library = dir / "Library";
    std::string launchAgentFile = library + "/LaunchAgents/org.duolume.Duolume.plist";
};

TEST_F(AgentInstallation, SwitchingOnWritesAnEnabledJobAndThenLoadsIt) {
    std::optional<NSDictionary> onDiskAtLaunch;
    sim.simTasks().onLaunch = [&](const SimTasks::Launch&) {
        onDiskAtLaunch = dictionaryWithContentsOfFile(launchAgentFile);
    };
    setupDaemon(true);

    ASSERT_EQ(sim.simTasks().launches.size(), 1u);
    EXPECT_EQ(sim.simTasks().launches[0].path, "/bin/launchctl");
    EXPECT_EQ(sim.simTasks().launches[0].arguments,
              (std::vector<std::string>{"load", "-S", "Aqua", launchAgentFile}));
    ASSERT_TRUE(onDiskAtLaunch) << "the file must be on disk before launchctl starts";
    EXPECT_EQ(onDiskAtLaunch->at("Disabled"), PlistValue::boolean(false));

    // Template keys kept; "Program" and "Disabled" replaced.
    NSDictionary job = writtenJob();
    EXPECT_EQ(job.size(), 5u);
    EXPECT_EQ(job.at("Label"), PlistValue::string("org.duolume.Duolume"));
    EXPECT_EQ(job.at("RunAtLoad"), PlistValue::boolean(true));
    EXPECT_EQ(job.at("KeepAlive"),
              PlistValue::dictionary({{"SuccessfulExit", PlistValue::boolean(false)}}));
    EXPECT_EQ(job.at("Program"), PlistValue::string(agentExecutable));
    EXPECT_EQ(job.at("Disabled"), PlistValue::boolean(false));
    // The platform's XML property-list form.
    EXPECT_EQ(readFile(launchAgentFile).rfind("<?xml", 0), 0u);
    EXPECT_TRUE(sim.logLines.empty());
}

TEST_F(AgentInstallation, SwitchingOffWritesADisabledJobUnloadsItAndKeepsTheFile) {
    setupDaemon(false);
    ASSERT_EQ(sim.simTasks().launches.size(), 1u);
    EXPECT_EQ(sim.simTasks().launches[0].arguments,
              (std::vector<std::string>{"unload", "-S", "Aqua", launchAgentFile}));
    NSDictionary job = writtenJob();
    EXPECT_EQ(job.at("Disabled"), PlistValue::boolean(true));
    EXPECT_EQ(job.at("Program"), PlistValue::string(agentExecutable));
}

TEST_F(AgentInstallation, EveryFlipRereadsTheTemplateRewritesTheFileAndLaunchesInOrder) {
    std::vector<bool> disabledAtLaunch;
    sim.simTasks().onLaunch = [&](const SimTasks::Launch&) {
        disabledAtLaunch.push_back(*writtenJob().at("Disabled").boolValue());
    };
    setupDaemon(true);
    // A template changed between flips is seen by the next one; a change made
    // to the file by other means is lost.
    writeTemplate({{"Label", PlistValue::string("org.duolume.Duolume")},
                   {"ThrottleInterval", PlistValue::integer(30)}});
    writeFile(launchAgentFile, "edited by hand");
    setupDaemon(false);

    EXPECT_EQ(disabledAtLaunch, (std::vector<bool>{false, true}));
    ASSERT_EQ(sim.simTasks().launches.size(), 2u);
    EXPECT_EQ(sim.simTasks().launches[0].arguments[0], "load");
    EXPECT_EQ(sim.simTasks().launches[1].arguments[0], "unload");
    NSDictionary job = writtenJob();
    EXPECT_EQ(job.size(), 4u);
    EXPECT_EQ(job.at("ThrottleInterval"), PlistValue::integer(30));
    EXPECT_EQ(job.count("RunAtLoad"), 0u);
}

TEST_F(AgentInstallation, MakesTheLaunchAgentsFolderButNeverTheLibraryFolder) {
    setupDaemon(true);
    struct stat st {};
    ASSERT_EQ(::stat((library + "/LaunchAgents").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(std::find(sim.calls.begin(), sim.calls.end(),
                        "createDirectoryAtPath(" + library + "/LaunchAgents, NO)"),
              sim.calls.end());

    // Without a Library folder nothing is made; the write fails (logged) and
    // launchctl is started all the same.
    sim.libraryFolder = dir / "NoLibrary";
    sim.simTasks().launches.clear();
    setupDaemon(false);
    EXPECT_FALSE(fileExists(dir / "NoLibrary"));
    ASSERT_EQ(sim.logLines.size(), 1u);
    EXPECT_NE(sim.logLines[0].find("failed to write the launch agent file"), std::string::npos);
    ASSERT_EQ(sim.simTasks().launches.size(), 1u);
    EXPECT_EQ(sim.simTasks().launches[0].arguments[3],
              dir / "NoLibrary/LaunchAgents/org.duolume.Duolume.plist");
}

TEST_F(AgentInstallation, MissingOrBrokenResourcesLogOneLineAndChangeNothing) {
    struct Case {
        const char* what;
        std::function<void()> breakIt;
        const char* logged;
    };
    std::vector<Case> cases = {
        {"no agent application", [&] { std::filesystem::remove_all(agentApp); },
         "Duolume.app is missing"},
        {"no agent executable", [&] { std::filesystem::remove(agentExecutable); },
         "has no executable"},
        {"no template", [&] { std::filesystem::remove(templatePath); },
         "template org.duolume.Duolume.plist is missing"},
        {"damaged template", [&] { writeFile(templatePath, "<plist><dict><key>"); },
         "is not a property-list dictionary"},
        {"template with a NUL in a key",
         [&] { writeFile(templatePath, testing_support::binaryPropertyListWithANulInAKey()); },
         "is not a property-list dictionary"},
        {"template not a dictionary",
         [&] { writeFile(templatePath, platform::xmlPropertyList(PlistValue::array({}))); },
         "is not a property-list dictionary"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        std::filesystem::remove_all(library + "/LaunchAgents");
        sim.logLines.clear();
        sim.simTasks().launches.clear();
        c.breakIt();
        setupDaemon(true);
        ASSERT_EQ(sim.logLines.size(), 1u);
        EXPECT_NE(sim.logLines[0].find(c.logged), std::string::npos) << sim.logLines[0];
        EXPECT_TRUE(sim.simTasks().launches.empty());
        EXPECT_FALSE(fileExists(library + "/LaunchAgents"));
    }
}

}  // namespace
