// The session operations product code calls; they forward to the machine.
#pragma once

#include <functional>
#include <string>

#include "machine/SessionServices.h"

namespace platform {

SessionNameClaim claimSessionBusName(const std::string& name);
int watchSessionBusName(const std::string& name, std::function<void(bool held)> handler);
void unwatchSessionBusName(int token);
DesktopAutomaticBrightness desktopAutomaticBrightness();
bool canSwitchOffDesktopAutomaticBrightness();
bool switchOffDesktopAutomaticBrightness();
int watchDesktopAutomaticBrightness(std::function<void()> handler);
void unwatchDesktopAutomaticBrightness(int token);
SessionState sessionState();
void addSessionStateObserver(std::function<void(const SessionState&)> handler);
std::optional<double> secondsSinceInput();
void publishSessionValue(const std::string& key, const std::string& value);
int watchSessionValue(const std::string& name, const std::string& key,
                      std::function<void(const std::optional<std::string>&)> handler);
void unwatchSessionValue(int token);
void addWakeObserver(std::function<void()> handler);
void addTerminationRequestObserver(std::function<void(int signal)> handler);

}  // namespace platform
