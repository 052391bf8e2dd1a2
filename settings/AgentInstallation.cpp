#include "settings/AgentInstallation.h"

#include "Foundation/NSBundle.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSProcessInfo.h"
#include "Foundation/NSTask.h"
#include "Foundation/PropertyListSerialization.h"
#include "settings/ProductIdentifier.h"

namespace duolume {
namespace {

const char* const kLaunchctlPath = "/bin/launchctl";

// The agent's main executable, from the agent application among the pane's
// resources; absent (and logged) when the application or its executable is missing.
std::optional<std::string> agentExecutablePath(const NSBundle& paneBundle) {
    auto appPath = paneBundle.pathForResource(agentApplicationName(), AgentApplicationType);
    if (!appPath) {
        NSLog("Cannot set up the background agent: %s.%s is missing from %s",
              agentApplicationName().c_str(), AgentApplicationType.c_str(),
              paneBundle.resourcePath().c_str());
        return std::nullopt;
    }
    auto app = NSBundle::bundleWithPath(*appPath);
    auto executable = app ? app->executablePath() : std::nullopt;
    if (!executable) {
        NSLog("Cannot set up the background agent: %s has no executable", appPath->c_str());
    }
    return executable;
}

// The launch agent template, read afresh; absent (and logged) when missing or damaged.
std::optional<NSDictionary> launchAgentTemplate(const NSBundle& paneBundle) {
    auto path = paneBundle.pathForResource(ProductIdentifier, LaunchAgentTemplateType);
    if (!path) {
        NSLog("Cannot set up the background agent: the launch agent template %s is missing from %s",
              launchAgentFileName().c_str(), paneBundle.resourcePath().c_str());
        return std::nullopt;
    }
    auto job = dictionaryWithContentsOfFile(*path);
    if (!job) {
        NSLog(
            "Cannot set up the background agent: the launch agent template %s is not a "
            "property-list dictionary",
            path->c_str());
    }
    return job;
}

}  // namespace

void setupDaemon(const NSBundle& paneBundle, bool enabled) {
    auto executable = agentExecutablePath(paneBundle);
    if (!executable)
        return;
    auto job = launchAgentTemplate(paneBundle);
    if (!job)
        return;
    (*job)["Program"] = PlistValue::string(*executable);
    (*job)["Disabled"] = PlistValue::boolean(!enabled);

    auto libraries =
        NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true);
    if (libraries.empty()) {
        NSLog("Cannot set up the background agent: the user has no Library folder");
        return;
    }
    const std::string folder = stringByAppendingPathComponent(libraries.front(), "LaunchAgents");
    // Fails harmlessly when the folder exists; without intermediate folders a
    // missing Library folder is not made, and the write below fails.
    NSFileManager::defaultManager().createDirectoryAtPath(folder, false, nullptr, nullptr);
    const std::string file = stringByAppendingPathComponent(folder, launchAgentFileName());
    if (!writeToFile(*job, file, false)) {
        NSLog("writeToFile:atomically: failed to write the launch agent file %s", file.c_str());
    }
    NSTask::launchedTaskWithLaunchPath(kLaunchctlPath,
                                       {enabled ? "load" : "unload", "-S", "Aqua", file});
}

}  // namespace duolume
