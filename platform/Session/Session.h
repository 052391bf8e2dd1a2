// The session operations product code calls; they forward to the machine.
#pragma once

#include <functional>
#include <string>

#include "Session/SessionServices.h"

namespace platform {

SessionNameClaim claimSessionBusName(const std::string& name);
int watchSessionBusName(const std::string& name, std::function<void(bool held)> handler);
void unwatchSessionBusName(int token);
DesktopAutomaticBrightness desktopAutomaticBrightness();
void addWakeObserver(std::function<void()> handler);
void addTerminationRequestObserver(std::function<void(int signal)> handler);

}  // namespace platform
