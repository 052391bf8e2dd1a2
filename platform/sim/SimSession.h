// The user's session on the simulated machine: names held by "other
// processes", and wake-ups and termination requests a test sends, delivered
// when the run loop next turns (in any mode), as on the real machine.
#pragma once

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "Session/SessionServices.h"

namespace platform::sim {

class SimSession : public SessionServices {
  public:
    SessionNameClaim claimSessionBusName(const std::string& name) override;
    SessionNameOwner sessionBusNameOwner(const std::string& name) override;
    DesktopAutomaticBrightness desktopAutomaticBrightness() override { return automaticBrightness; }
    void observeWake(std::function<void()> handler) override;
    void observeTerminationRequest(std::function<void(int)> handler) override;

    // Scripted parts.
    bool sessionBusAvailable = true;
    std::set<std::string> namesOwnedElsewhere;
    std::vector<std::string> claimedNames;
    DesktopAutomaticBrightness automaticBrightness = DesktopAutomaticBrightness::NotInstalled;
    // The machine resumed from sleep.
    void wake();
    // The process received `signal` (SIGTERM, SIGINT).
    void requestTermination(int signal);

  private:
    void deliverLater(std::function<void()> event);
    std::vector<std::function<void()>> wakeHandlers_;
    std::vector<std::function<void(int)>> terminationHandlers_;
    std::deque<std::function<void()>> pending_;
    CFRunLoopSourceRef source_;
};

}  // namespace platform::sim
