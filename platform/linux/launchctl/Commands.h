// launchctl's two subcommands for launch agent files, carried out with
// systemd user units.
//
// Exit statuses follow launchd's error numbers, printed as launchctl does
// ("Load failed: 119: Service is disabled"):
//   0    done (also: a job limited to other session types, nothing to load)
//   2    the launch agent file does not exist (13: it cannot be read)
//   5    a damaged file or unusable job, or systemd could not do it
//        (among others: no systemd user manager for this session)
//   64   wrong command line
//   113  unload of a job that was never loaded
//   119  load of a disabled job ("Disabled" true; -w or -F loads it anyway)
#pragma once

#include <string>

namespace launchctl {

inline constexpr int kExitUsage = 64;

struct Options {
    bool load = true;               // load or unload
    bool overrideDisabled = false;  // -w / -F
    std::string sessionType = "Aqua";
};

// Loads or unloads one launch agent file; returns the exit status for it.
int loadOrUnload(const Options& options, const std::string& path);

}  // namespace launchctl
