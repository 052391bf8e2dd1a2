// Starting another program. It runs on its own; the caller does not wait for
// it, and the machine reaps it when it ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

class NSTask {
  public:
    // Starts the program at `launchPath` with `arguments` (never through a
    // shell). Platform programs are named by their original path
    // ("/bin/launchctl"); the machine finds its own stand-in. Returns null
    // when the program could not be started; the machine logs why.
    static std::shared_ptr<NSTask> launchedTaskWithLaunchPath(
        const std::string& launchPath, const std::vector<std::string>& arguments);

    const std::string& launchPath() const { return launchPath_; }
    const std::vector<std::string>& arguments() const { return arguments_; }

    NSTask(std::string launchPath, std::vector<std::string> arguments)
        : launchPath_(std::move(launchPath)), arguments_(std::move(arguments)) {}

  private:
    std::string launchPath_;
    std::vector<std::string> arguments_;
};
