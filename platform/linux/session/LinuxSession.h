// The user's session on Linux: a well-known name on the D-Bus session bus and
// the values published under it (PublishedValues.h), the session's state as
// systemd-logind tells it (LogindSessionState.h), the desktop's automatic
// brightness, and SIGTERM/SIGINT through GLib's main context (so handlers run
// on the run loop).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "linux/desktop/GnomeAmbientLight.h"
#include "linux/desktop/KdeOutputDevices.h"
#include "linux/session/LogindSessionState.h"
#include "linux/session/PublishedValues.h"
#include "machine/Machine.h"
#include "machine/SessionServices.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GSettings GSettings;

namespace platform::linux_machine {

enum class AutomaticBrightnessDesktop { Gnome, Plasma };

class LinuxSession : public SessionServices {
  public:
    explicit LinuxSession(Machine& machine);
    ~LinuxSession() override;
    SessionNameClaim claimSessionBusName(const std::string& name) override;
    int watchSessionBusName(const std::string& name,
                            std::function<void(bool held)> handler) override;
    void unwatchSessionBusName(int token) override;
    DesktopAutomaticBrightness desktopAutomaticBrightness() override;
    // Whose setting desktopAutomaticBrightness() reads: Plasma's where KWin
    // tells of one or Plasma's brightness service drives the panel, GNOME's
    // otherwise.
    AutomaticBrightnessDesktop automaticBrightnessDesktop();
    bool canSwitchOffDesktopAutomaticBrightness() override;
    // GNOME's key is there and an administrator locked it: nobody in this
    // session can switch it off, in GNOME's settings or elsewhere.
    bool gnomeAmbientKeyLocked();
    bool switchOffDesktopAutomaticBrightness() override;
    int watchDesktopAutomaticBrightness(std::function<void()> handler) override;
    void unwatchDesktopAutomaticBrightness(int token) override;
    SessionState sessionState() override { return logind_.state(); }
    void observeSessionState(std::function<void(const SessionState&)> handler) override {
        logind_.observe(std::move(handler));
    }
    std::optional<double> secondsSinceInput() override;
    void publishSessionValue(const std::string& key, const std::string& value) override;
    int watchSessionValue(const std::string& name, const std::string& key,
                          std::function<void(const std::optional<std::string>&)> handler) override;
    void unwatchSessionValue(int token) override;
    void observeWake(std::function<void()> handler) override {
        logind_.observeWake(std::move(handler));
    }
    void observeTerminationRequest(std::function<void(int)> handler) override;

  private:
    struct Observer;
    struct NameWatch;
    // Starts watching once the session bus is there (reached without waiting).
    void startNameWatch(NameWatch& watch);
    // KWin's answer (Plasma 6.6 and later), asked for the first time.
    OutputAutomaticBrightness kwinAutomaticBrightness();
    KdeOutputDevices& kdeOutputs();
    // GNOME's key, where GNOME acts on it.
    DesktopAutomaticBrightness gnomeAmbientSetting();
    GnomeAmbientLight& gnomeAmbient();
    // Runs `then` once the session bus is there, now if it is.
    void withSessionBus(std::function<void()> then);
    Machine& machine_;
    GDBusConnection* sessionBus_ = nullptr;
    std::string claimedName_;
    LogindSessionState logind_{machine_};
    PublishedValues published_;
    std::map<int, int> valueWatches_;  // our token to PublishedValues' (0 until connected)
    std::vector<std::function<void()>> onSessionBus_;
    std::vector<std::unique_ptr<Observer>> observers_;
    std::map<int, std::unique_ptr<NameWatch>> nameWatches_;
    int nextNameWatch_ = 1;
    bool connectingSessionBus_ = false;
    bool idleTimeUnknownLogged_ = false;
    // Connected the first time Plasma's brightness service is in use.
    std::once_flag kdeOutputsStarted_;
    std::unique_ptr<KdeOutputDevices> kdeOutputs_;
    std::once_flag gnomeAmbientStarted_;
    std::unique_ptr<GnomeAmbientLight> gnomeAmbient_;
    // Told when either desktop's setting may have changed.
    std::map<int, std::function<void()>> automaticBrightnessWatches_;
    int nextAutomaticBrightnessWatch_ = 1;
    GSettings* watchedGnomeSettings_ = nullptr;
    void automaticBrightnessMayHaveChanged();
    // Asynchronous answers hold it weakly: gone with this object.
    std::shared_ptr<LinuxSession*> alive_;
};

}  // namespace platform::linux_machine
