// The Linux machine with its log lines kept for inspection (besides nothing
// else: they reach neither syslog nor the terminal).
#pragma once

#include <string>
#include <vector>

#include "linux/LinuxMachine.h"

namespace testing_support {

class LoggingLinuxMachine : public platform::linux_machine::LinuxMachine {
  public:
    std::vector<std::string> lines;
    void writeLog(const std::string& line) override { lines.push_back(line); }

    bool logged(const std::string& part) const { return count(part) > 0; }
    // How many lines hold `part`.
    int count(const std::string& part) const {
        int n = 0;
        for (const auto& l : lines)
            n += l.find(part) != std::string::npos;
        return n;
    }

    static LoggingLinuxMachine& installNew() {
        auto machine = std::make_unique<LoggingLinuxMachine>();
        auto& ref = *machine;
        platform::Machine::install(std::move(machine));
        return ref;
    }
};

}  // namespace testing_support
