// The user's session on Linux: a well-known name on the D-Bus session bus,
// logind's PrepareForSleep signal on the system bus, and SIGTERM/SIGINT
// through GLib's main context (so handlers run on the run loop).
#pragma once

#include <functional>
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
    SessionNameOwner sessionBusNameOwner(const std::string& name) override;
    DesktopAutomaticBrightness desktopAutomaticBrightness() override;
    void observeWake(std::function<void()> handler) override;
    void observeTerminationRequest(std::function<void(int)> handler) override;

  private:
    struct Observer;
    Machine& machine_;
    GDBusConnection* sessionBus_ = nullptr;
    GDBusConnection* systemBus_ = nullptr;
    std::vector<std::unique_ptr<Observer>> observers_;
};

}  // namespace platform::linux_machine
