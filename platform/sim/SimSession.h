// The user's session on the simulated machine: names held by "other
// processes", and wake-ups and termination requests a test sends, delivered
// when the run loop next turns (in any mode), as on the real machine.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "Session/SessionServices.h"

namespace platform::sim {

class SimSession : public SessionServices {
  public:
    SessionNameClaim claimSessionBusName(const std::string& name) override;
    int watchSessionBusName(const std::string& name,
                            std::function<void(bool held)> handler) override;
    void unwatchSessionBusName(int token) override;
    DesktopAutomaticBrightness desktopAutomaticBrightness() override { return automaticBrightness; }
    void observeWake(std::function<void()> handler) override;
    void observeTerminationRequest(std::function<void(int)> handler) override;

    // Scripted parts.
    bool sessionBusAvailable = true;
    std::set<std::string> namesOwnedElsewhere;
    std::vector<std::string> claimedNames;
    DesktopAutomaticBrightness automaticBrightness = DesktopAutomaticBrightness::NotInstalled;
    // Another process of the session took `name` or let it go.
    void setNameHeldElsewhere(const std::string& name, bool held);
    // The machine resumed from sleep.
    void wake();
    // The process received `signal` (SIGTERM, SIGINT).
    void requestTermination(int signal);

  private:
    struct NameWatch {
        std::string name;
        std::function<void(bool)> handler;
    };
    bool held(const std::string& name) const;
    void deliverLater(std::function<void()> event);
    std::map<int, NameWatch> nameWatches_;
    int nextWatch_ = 1;
    std::vector<std::function<void()>> wakeHandlers_;
    std::vector<std::function<void(int)>> terminationHandlers_;
    std::deque<std::function<void()>> pending_;
    CFRunLoopSourceRef source_;
};

}  // namespace platform::sim
