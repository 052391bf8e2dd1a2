#include "Foundation/NSTask.h"

#include "machine/Machine.h"

std::shared_ptr<NSTask> NSTask::launchedTaskWithLaunchPath(
    const std::string& launchPath, const std::vector<std::string>& arguments) {
    auto& machine = platform::Machine::current();
    std::string call = "launchedTaskWithLaunchPath(" + launchPath;
    for (const auto& a : arguments)
        call += ", " + a;
    machine.recordCall(call + ")");
    if (!machine.tasks().launch(launchPath, arguments))
        return nullptr;
    return std::make_shared<NSTask>(launchPath, arguments);
}
