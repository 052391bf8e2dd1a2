#include "Session/Session.h"

#include "Machine.h"

namespace platform {

SessionNameClaim claimSessionBusName(const std::string& name) {
    Machine::current().recordCall("claimSessionBusName(" + name + ")");
    return Machine::current().session().claimSessionBusName(name);
}

SessionNameOwner sessionBusNameOwner(const std::string& name) {
    Machine::current().recordCall("sessionBusNameOwner(" + name + ")");
    return Machine::current().session().sessionBusNameOwner(name);
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
