// The user's session on the simulated machine: names held by "other
// processes" and what they published, the session's state, and wake-ups and
// termination requests a test sends, delivered when the run loop next turns
// (in any mode), as on the real machine.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "machine/SessionServices.h"

namespace platform::sim {

class SimSession : public SessionServices {
  public:
    SessionNameClaim claimSessionBusName(const std::string& name) override;
    int watchSessionBusName(const std::string& name,
                            std::function<void(bool held)> handler) override;
    void unwatchSessionBusName(int token) override;
    DesktopAutomaticBrightness desktopAutomaticBrightness() override { return automaticBrightness; }
    bool canSwitchOffDesktopAutomaticBrightness() override;
    bool switchOffDesktopAutomaticBrightness() override;
    int watchDesktopAutomaticBrightness(std::function<void()> handler) override;
    void unwatchDesktopAutomaticBrightness(int token) override;
    SessionState sessionState() override { return state_; }
    void observeSessionState(std::function<void(const SessionState&)> handler) override;
    std::optional<double> secondsSinceInput() override { return inputIdleSeconds; }
    void publishSessionValue(const std::string& key, const std::string& value) override;
    int watchSessionValue(const std::string& name, const std::string& key,
                          std::function<void(const std::optional<std::string>&)> handler) override;
    void unwatchSessionValue(int token) override;
    void observeWake(std::function<void()> handler) override;
    void observeTerminationRequest(std::function<void(int)> handler) override;

    // Scripted parts.
    bool sessionBusAvailable = true;
    std::set<std::string> namesOwnedElsewhere;
    std::vector<std::string> claimedNames;
    DesktopAutomaticBrightness automaticBrightness = DesktopAutomaticBrightness::NotInstalled;
    // False: the desktop would refuse to switch it off from here (locked).
    bool automaticBrightnessSwitchable = true;
    // The desktop's setting changes (watchers told when the run loop turns).
    void setAutomaticBrightness(DesktopAutomaticBrightness setting);
    // Another process of the session took `name` or let it go.
    void setNameHeldElsewhere(const std::string& name, bool held);
    // What the holder of `name` published under `key`, for this process or
    // another one; absent: withdrawn.
    std::map<std::pair<std::string, std::string>, std::string> published;
    void publishElsewhere(const std::string& name, const std::string& key,
                          const std::optional<std::string>& value);
    // The session manager says so (delivered when the run loop turns).
    void setSessionState(const SessionState& state);
    bool switchOffFails = false;
    // What the desktop says of the person's last input; absent: it does not say.
    std::optional<double> inputIdleSeconds;
    // The machine resumed from sleep.
    void wake();
    // The process received `signal` (SIGTERM, SIGINT).
    void requestTermination(int signal);

  private:
    struct NameWatch {
        std::string name;
        std::function<void(bool)> handler;
    };
    struct ValueWatch {
        std::string name, key;
        std::function<void(const std::optional<std::string>&)> handler;
    };
    std::map<int, std::function<void()>> automaticBrightnessWatches_;
    int nextAutomaticBrightnessWatch_ = 1;
    bool held(const std::string& name) const;
    std::optional<std::string> valueOf(const std::string& name, const std::string& key) const;
    void tellValueWatchers(const std::string& name, const std::string& key);
    std::map<int, ValueWatch> valueWatches_;
    std::vector<std::function<void(const SessionState&)>> stateHandlers_;
    SessionState state_;
    void deliverLater(std::function<void()> event);
    std::map<int, NameWatch> nameWatches_;
    int nextWatch_ = 1;
    std::vector<std::function<void()>> wakeHandlers_;
    std::vector<std::function<void(int)>> terminationHandlers_;
    std::deque<std::function<void()>> pending_;
    CFRunLoopSourceRef source_;
};

}  // namespace platform::sim
