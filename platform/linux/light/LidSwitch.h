// Whether the laptop's lid is closed, and a word when the machine has woken
// from sleep, followed on the thread-default main context of the thread that
// calls follow() (the light sources' thread).
//
// The lid: systemd-logind's LidClosed on its manager object
// (/org/freedesktop/login1, org.freedesktop.login1.Manager), which logind
// announces with PropertiesChanged whenever its lid switch changes
// (systemd src/login/logind-dbus.c: SD_BUS_PROPERTY("LidClosed", ...,
// SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE); src/login/logind-button.c sends it at
// every SW_LID event). Where logind does not answer, the ACPI button
// driver's /proc/acpi/button/lid/<device>/state ("state:      open" or
// "closed", drivers/acpi/button.c, acpi_button_state_seq_show), read at
// every look(). A machine without either has no lid to close.
//
// The wake: logind's PrepareForSleep(false) (src/login/logind-dbus.c
// send_prepare_for), after PrepareForSleep(true).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "linux/bus/PropertyChangesWatch.h"
#include "linux/bus/ServiceWatch.h"

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

// "state:      closed" and the like; absent for "unsupported" or garbage.
std::optional<bool> parseLidState(const std::string& text);

class LidSwitch {
  public:
    // `changed` runs on the following context when the lid opens or closes;
    // `woke` when the machine has woken from sleep.
    LidSwitch(std::function<void()> changed, std::function<void()> woke);
    ~LidSwitch();
    LidSwitch(const LidSwitch&) = delete;
    LidSwitch& operator=(const LidSwitch&) = delete;

    // Connects to the system bus (again after it went away) and watches for
    // logind, asking it once each time it appears (no question while it is
    // not there); reads the ACPI file while logind gives no answer. Called
    // now and then.
    void follow();
    bool closed() const;
    // "systemd-logind", "/proc/acpi/button/lid/LID0/state", or "" without a lid.
    const std::string& source() const { return source_; }

  private:
    void ask();
    void lookAtAcpi();
    void logindSays(bool closed);
    static void onSignal(GDBusConnection*, const char*, const char*, const char*, const char* name,
                         void* parameters, void* self);

    std::function<void()> changed_;
    std::function<void()> woke_;
    GDBusConnection* bus_ = nullptr;
    PropertyChangesWatch lidAnnouncements_;
    unsigned sleepSubscription_ = 0;
    bool asking_ = false;
    ServiceWatch logind_;
    bool logindThere_ = false;  // logind owns its name on the bus
    std::optional<bool> logindClosed_;
    std::optional<bool> acpiClosed_;
    bool sleeping_ = false;
    std::string source_;
};

}  // namespace platform::linux_machine
