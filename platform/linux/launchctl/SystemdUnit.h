// Translating a launchd job into a systemd user unit that starts at login on
// every desktop and stops with the graphical session where there is one.
// Pure functions: no files, no processes.
#pragma once

#include <optional>
#include <string>

#include "LaunchdJob.h"

namespace launchctl {

// The unit's file name for a job label: the label with characters a unit
// name cannot hold escaped as \xNN, and ".service" appended. Absent when the
// result is longer than a unit name may be.
std::optional<std::string> unitNameForLabel(const std::string& label);

// One word of an ExecStart= line, quoted so systemd reads back exactly
// `word`: double quotes, C escapes, "%%" for "%" and, in arguments (not in
// the program's path, which systemd does not expand), "$$" for "$".
std::string quoteExecWord(const std::string& word, bool isProgram = false);

// The unit file's text. `sourcePath` is the launch agent file it came from.
std::string systemdUnitText(const LaunchdJob& job, const std::string& sourcePath);

// The whole translation from a launch agent file's bytes: the job, its unit's
// name and text, or why there is none.
struct UnitTranslation {
    std::optional<LaunchdJob> job;
    std::string unitName;
    std::string unitText;
    std::string error;  // empty on success
    bool invalidPropertyList = false;
};
UnitTranslation translateLaunchAgent(const std::string& plistBytes, const std::string& sourcePath);

}  // namespace launchctl
