// The agent as the build assembles it inside the pane bundle, and the launch
// agent template beside it.
#include <gtest/gtest.h>
#include <unistd.h>

#include "Foundation/NSBundle.h"
#include "Foundation/PropertyListSerialization.h"
#include "settings/AgentInstallation.h"
#include "sim/SimMachine.h"
#include "support/TempDir.h"

using namespace testing_support;

namespace {

const std::string kPane = DUOLUME_BINARY_DIR "/Duolume.prefPane";

TEST(AgentBundle, TheAgentApplicationAndTheTemplateAreAmongThePanesResources) {
    auto pane = NSBundle::bundleWithPath(kPane);
    ASSERT_TRUE(pane);
    auto appPath = pane->pathForResource("Duolume", "app");
    ASSERT_TRUE(appPath);
    auto app = NSBundle::bundleWithPath(*appPath);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->executablePath(), *appPath + "/Contents/MacOS/Duolume");
    EXPECT_EQ(::access(app->executablePath()->c_str(), X_OK), 0);
    EXPECT_EQ(plistLookup(app->infoDictionary(), "CFBundleIdentifier"),
              PlistValue::string("org.duolume.Duolume.Agent"));

    auto templatePath = pane->pathForResource("org.duolume.Duolume", "plist");
    ASSERT_TRUE(templatePath);
    auto job = dictionaryWithContentsOfFile(*templatePath);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->at("Label"), PlistValue::string("org.duolume.Duolume"));
    EXPECT_EQ(job->at("RunAtLoad"), PlistValue::boolean(true));
    // Started again after a crash, not after a clean exit (a second agent, SIGTERM).
    EXPECT_EQ(job->at("KeepAlive"),
              PlistValue::dictionary({{"SuccessfulExit", PlistValue::boolean(false)}}));
    EXPECT_EQ(job->at("LimitLoadToSessionType"), PlistValue::string("Aqua"));
    EXPECT_EQ(job->count("Program"), 0u) << "filled in at installation";
}

TEST(AgentBundle, InstallingFromTheBuiltBundleNamesTheBuiltAgent) {
    auto& sim = platform::sim::SimMachine::installNew();
    TempDir library;
    sim.libraryFolder = library.path();
    duolume::setupDaemon(*NSBundle::bundleWithPath(kPane), true);
    auto job = dictionaryWithContentsOfFile(library / "LaunchAgents/org.duolume.Duolume.plist");
    ASSERT_TRUE(job);
    EXPECT_EQ(job->at("Program"),
              PlistValue::string(kPane + "/Contents/Resources/Duolume.app/Contents/MacOS/Duolume"));
    EXPECT_EQ(job->at("Disabled"), PlistValue::boolean(false));
    EXPECT_EQ(job->at("Label"), PlistValue::string("org.duolume.Duolume"));
}

TEST(AgentBundle, TheAgentDoesNotLinkQt) {
    std::string binary = readFile(kPane + "/Contents/Resources/Duolume.app/Contents/MacOS/Duolume");
    ASSERT_FALSE(binary.empty());
    EXPECT_EQ(binary.find("libQt"), std::string::npos);
    EXPECT_NE(binary.find("libgio-2.0"), std::string::npos) << "the scan sees linked libraries";
}

}  // namespace
