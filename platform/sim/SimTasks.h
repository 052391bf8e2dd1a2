// Launched tasks on the simulated machine: a journal, nothing runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "machine/Machine.h"

namespace platform::sim {

class SimTasks : public TaskLauncher {
  public:
    struct Launch {
        std::string path;
        std::vector<std::string> arguments;
    };
    bool launch(const std::string& path, const std::vector<std::string>& arguments) override {
        launches.push_back({path, arguments});
        if (onLaunch)
            onLaunch(launches.back());
        return !failLaunch;
    }
    std::string resolveProgram(const std::string& originalPath) override { return originalPath; }

    std::vector<Launch> launches;
    // Called at each launch, so a test can look at the world at that moment.
    std::function<void(const Launch&)> onLaunch;
    bool failLaunch = false;
};

}  // namespace platform::sim
