// The Linux machine with its log lines kept for inspection (besides nothing
// else: they reach neither syslog nor the terminal).
#pragma once

#include <string>
#include <vector>

#include "linux/LinuxMachine.h"
#include "support/LogLines.h"

namespace testing_support {

class LoggingLinuxMachine : public platform::linux_machine::LinuxMachine {
  public:
    std::vector<std::string> lines;
    void writeLog(const std::string& line) override { lines.push_back(line); }

    bool logged(const std::string& part) const { return anyLineHolds(lines, part); }
    int count(const std::string& part) const { return linesHolding(lines, part); }

    static LoggingLinuxMachine& installNew() {
        auto machine = std::make_unique<LoggingLinuxMachine>();
        auto& ref = *machine;
        platform::Machine::install(std::move(machine));
        return ref;
    }
};

}  // namespace testing_support
