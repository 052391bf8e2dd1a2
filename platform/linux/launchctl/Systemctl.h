// Running `systemctl --user` for launchctl: found on PATH, started without a
// shell, waited for.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace launchctl {

// The first executable "systemctl" in the folders of $PATH (a default
// search path when PATH is unset); absent when there is none.
std::optional<std::string> findSystemctl();

// Runs `systemctl --user <arguments>` and returns its exit status; -1 when
// it could not be started or did not exit normally. Its output goes to ours.
int runSystemctl(const std::string& systemctl, const std::vector<std::string>& arguments);

}  // namespace launchctl
