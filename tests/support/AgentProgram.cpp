#include "support/AgentProgram.h"

#include "support/Waiting.h"

namespace testing_support {

std::unique_ptr<ChildProcess> startAgent(
    const std::map<std::string, std::optional<std::string>>& environment,
    std::vector<std::string> wrapper) {
    wrapper.push_back(kAgentProgram);
    return std::make_unique<ChildProcess>(wrapper, environment);
}

bool untilLogged(const ChildProcess& agent, const std::string& part, double seconds) {
    return waitFor([&] { return agent.standardError().find(part) != std::string::npos; }, seconds);
}

}  // namespace testing_support
