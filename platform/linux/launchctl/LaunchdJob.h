// The parts of a launchd job description (a launch agent file) that the
// platform's launchctl can carry over to a systemd user unit.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/PropertyList.h"

namespace launchctl {

// When launchd starts the job again after it ended (KeepAlive).
struct KeepAlive {
    bool afterSuccess = false;  // KeepAlive true, or SuccessfulExit true
    bool afterFailure = false;  // KeepAlive true, or SuccessfulExit false
    bool afterCrash = false;    // KeepAlive true, Crashed true, or SuccessfulExit false
    bool any() const { return afterSuccess || afterFailure || afterCrash; }
};

struct LaunchdJob {
    std::string label;
    // What is executed and the argument vector it gets (argv[0] first).
    std::string program;
    std::vector<std::string> arguments;
    bool runAtLoad = false;
    KeepAlive keepAlive;
    bool disabled = false;
    // Seconds launchd waits before starting the job again (ThrottleInterval, default 10).
    long long throttleInterval = 10;
    // LimitLoadToSessionType; empty means any session type.
    std::vector<std::string> sessionTypes;
    // Keys understood but only partly carried over, for a warning.
    std::vector<std::string> ignored;

    // launchd starts the job when it is loaded (RunAtLoad, or KeepAlive
    // asking for it to be running).
    bool startsAtLoad() const { return runAtLoad || keepAlive.any(); }
    bool loadsInSession(const std::string& sessionType) const;
};

// Reads a job from a parsed property list. Absent when it is not a usable
// job; `error` then says why in a line a launchd user would recognise.
std::optional<LaunchdJob> parseLaunchdJob(const PlistValue& plist, std::string* error);

}  // namespace launchctl
