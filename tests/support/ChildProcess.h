// A program started by a test, without a shell: its environment adjusted,
// its standard output and error captured in files, waited for with a limit.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace testing_support {

class ChildProcess {
  public:
    // Starts `argv[0]` with `argv`. `environment` entries replace (or, with
    // nullopt, remove) variables of this process's environment.
    ChildProcess(const std::vector<std::string>& argv,
                 const std::map<std::string, std::optional<std::string>>& environment = {});
    ~ChildProcess();  // kills a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The exit status once it has exited, -1 when it ended by a signal;
    // absent when it is still running after `seconds`.
    std::optional<int> wait(double seconds = 20.0);
    bool running();
    void signal(int sig);

    std::string standardOutput() const { return readFile(out_); }
    std::string standardError() const { return readFile(err_); }

    // Runs to the end and returns the exit status (-1 for a signal, -2 when it had to be killed).
    static int run(const std::vector<std::string>& argv,
                   const std::map<std::string, std::optional<std::string>>& environment,
                   std::string* standardError = nullptr, double seconds = 20.0);

  private:
    TempDir dir_;
    std::string out_ = dir_ / "stdout";
    std::string err_ = dir_ / "stderr";
    pid_t pid_ = -1;
    std::optional<int> status_;
};

}  // namespace testing_support
