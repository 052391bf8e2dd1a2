// The agent program of the built bundle, run by a test as its own process,
// and what it writes to its standard error (PLATFORM_LOG_STDERR=1).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace testing_support {

inline const std::string kAgentProgram =
    DUOLUME_BINARY_DIR "/Duolume.prefPane/Contents/Resources/Duolume.app/Contents/MacOS/Duolume";

// Starts the agent with `environment`, under `wrapper` (such as strace and its
// options) when one is given.
std::unique_ptr<ChildProcess> startAgent(
    const std::map<std::string, std::optional<std::string>>& environment,
    std::vector<std::string> wrapper = {});

// Whether `agent` writes a line holding `part` within `seconds`.
bool untilLogged(const ChildProcess& agent, const std::string& part, double seconds = 15.0);

}  // namespace testing_support
