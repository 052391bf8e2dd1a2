// Starting programs with posix_spawn, never through a shell. Children are
// reaped by a GLib child watch, so none stays behind as a zombie.
#pragma once

#include <filesystem>

#include "machine/Machine.h"

namespace platform::linux_machine {

class LinuxTasks : public TaskLauncher {
  public:
    explicit LinuxTasks(Machine& machine) : machine_(machine) {}
    bool launch(const std::string& path, const std::vector<std::string>& arguments) override;
    // "/bin/launchctl" is the platform's own launchctl, found by
    // locatePlatformProgram from the running program.
    std::string resolveProgram(const std::string& originalPath) override;

  private:
    Machine& machine_;
};

// Where the platform's program `name` is for the program running at
// `runningProgram` (empty when unknown): in the installation's own folder
// (`installedFromBin`, relative to the running program's folder), else in
// the build tree's libexec folder beside it, else at `installedDir`.
std::string locatePlatformProgram(const std::filesystem::path& runningProgram,
                                  const std::string& name, const std::string& installedFromBin,
                                  const std::string& installedDir);

}  // namespace platform::linux_machine
