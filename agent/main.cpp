// The background agent program: started by the user's service manager while
// synchronisation is on, it keeps the displays on the curve until asked to end.
#include "CoreFoundation/CFRunLoop.h"
#include "agent/BackgroundAgent.h"
#include "linux/LinuxMachine.h"

int main() {
    platform::linux_machine::LinuxMachine::installNew();
    duolume::BackgroundAgent agent;
    // A second agent in the same session is not an error: it leaves quietly.
    if (agent.start() == duolume::BackgroundAgent::Start::AnotherAgentRuns)
        return 0;
    CFRunLoopRun();
    return 0;
}
