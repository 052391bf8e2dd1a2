// The session operations product code calls; they forward to the machine.
#pragma once

#include <functional>
#include <string>

#include "Session/SessionServices.h"

namespace platform {

SessionNameClaim claimSessionBusName(const std::string& name);
SessionNameOwner sessionBusNameOwner(const std::string& name);
DesktopAutomaticBrightness desktopAutomaticBrightness();
void addWakeObserver(std::function<void()> handler);
void addTerminationRequestObserver(std::function<void(int signal)> handler);

}  // namespace platform
