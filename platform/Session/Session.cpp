#include "Session/Session.h"

#include "machine/Machine.h"

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

bool canSwitchOffDesktopAutomaticBrightness() {
    Machine::current().recordCall("canSwitchOffDesktopAutomaticBrightness()");
    return Machine::current().session().canSwitchOffDesktopAutomaticBrightness();
}

bool switchOffDesktopAutomaticBrightness() {
    Machine::current().recordCall("switchOffDesktopAutomaticBrightness()");
    return Machine::current().session().switchOffDesktopAutomaticBrightness();
}

int watchDesktopAutomaticBrightness(std::function<void()> handler) {
    return Machine::current().session().watchDesktopAutomaticBrightness(std::move(handler));
}

void unwatchDesktopAutomaticBrightness(int token) {
    Machine::current().session().unwatchDesktopAutomaticBrightness(token);
}

SessionState sessionState() {
    return Machine::current().session().sessionState();
}

void addSessionStateObserver(std::function<void(const SessionState&)> handler) {
    Machine::current().recordCall("addSessionStateObserver()");
    Machine::current().session().observeSessionState(std::move(handler));
}

std::optional<double> secondsSinceInput() {
    return Machine::current().session().secondsSinceInput();
}

void publishSessionValue(const std::string& key, const std::string& value) {
    Machine::current().session().publishSessionValue(key, value);
}

int watchSessionValue(const std::string& name, const std::string& key,
                      std::function<void(const std::optional<std::string>&)> handler) {
    Machine::current().recordCall("watchSessionValue(" + name + ", " + key + ")");
    return Machine::current().session().watchSessionValue(name, key, std::move(handler));
}

void unwatchSessionValue(int token) {
    Machine::current().session().unwatchSessionValue(token);
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
