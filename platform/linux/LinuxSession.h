// The user's session on Linux: a well-known name on the D-Bus session bus,
// logind's PrepareForSleep signal on the system bus, and SIGTERM/SIGINT
// through GLib's main context (so handlers run on the run loop).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "Machine.h"
#include "Session/SessionServices.h"

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

class LinuxSession : public SessionServices {
  public:
    explicit LinuxSession(Machine& machine);
    ~LinuxSession() override;
    SessionNameClaim claimSessionBusName(const std::string& name) override;
    int watchSessionBusName(const std::string& name,
                            std::function<void(bool held)> handler) override;
    void unwatchSessionBusName(int token) override;
    DesktopAutomaticBrightness desktopAutomaticBrightness() override;
    void observeWake(std::function<void()> handler) override;
    void observeTerminationRequest(std::function<void(int)> handler) override;

  private:
    struct Observer;
    struct NameWatch;
    // Starts watching once the session bus is there (reached without waiting).
    void startNameWatch(NameWatch& watch);
    Machine& machine_;
    GDBusConnection* sessionBus_ = nullptr;
    GDBusConnection* systemBus_ = nullptr;
    std::vector<std::unique_ptr<Observer>> observers_;
    std::map<int, std::unique_ptr<NameWatch>> nameWatches_;
    int nextNameWatch_ = 1;
    bool connectingSessionBus_ = false;
    // Asynchronous answers hold it weakly: gone with this object.
    std::shared_ptr<LinuxSession*> alive_;
};

}  // namespace platform::linux_machine
