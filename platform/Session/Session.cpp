#include "Session/Session.h"

#include "Machine.h"

namespace platform {

SessionNameClaim claimSessionBusName(const std::string& name) {
    Machine::current().recordCall("claimSessionBusName(" + name + ")");
    return Machine::current().session().claimSessionBusName(name);
}

int watchSessionBusName(const std::string& name, std::function<void(bool held)> handler) {
    Machine::current().recordCall("watchSessionBusName(" + name + ")");
    return Machine::current().session().watchSessionBusName(name, std::move(handler));
}

void unwatchSessionBusName(int token) {
    Machine::current().session().unwatchSessionBusName(token);
}

DesktopAutomaticBrightness desktopAutomaticBrightness() {
    Machine::current().recordCall("desktopAutomaticBrightness()");
    return Machine::current().session().desktopAutomaticBrightness();
}

void addWakeObserver(std::function<void()> handler) {
    Machine::current().recordCall("addWakeObserver()");
    Machine::current().session().observeWake(std::move(handler));
}

void addTerminationRequestObserver(std::function<void(int signal)> handler) {
    Machine::current().recordCall("addTerminationRequestObserver()");
    Machine::current().session().observeTerminationRequest(std::move(handler));
}

}  // namespace platform
