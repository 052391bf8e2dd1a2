// Starting programs with posix_spawn, never through a shell. Children are
// reaped by a GLib child watch, so none stays behind as a zombie.
#pragma once

#include "Machine.h"

namespace platform::linux_machine {

class LinuxTasks : public TaskLauncher {
public:
    explicit LinuxTasks(Machine& machine) : machine_(machine) {}
    bool launch(const std::string& path, const std::vector<std::string>& arguments) override;
    // "/bin/launchctl" is the platform's own launchctl: ../libexec/launchctl
    // beside the running program, else the installed one.
    std::string resolveProgram(const std::string& originalPath) override;

private:
    Machine& machine_;
};

}  // namespace platform::linux_machine
