// Distributed notifications as signals on the D-Bus session bus, so any
// program can watch them with dbus-monitor:
//
//   path      /DistributedNotificationCenter
//   interface platform.DistributedNotificationCenter
//   member    Notification
//   arguments (s name, s object)   object is "" when the notification has none
//
// Signals are broadcast (no destination). Without a reachable bus a post logs
// one line and is dropped; the caller goes on.
#pragma once

#include <map>
#include <string>

#include "Machine.h"

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

inline constexpr const char* kNotificationPath = "/DistributedNotificationCenter";
inline constexpr const char* kNotificationInterface = "platform.DistributedNotificationCenter";
inline constexpr const char* kNotificationMember = "Notification";

class LinuxDistributedBus : public DistributedNotificationBus {
public:
    explicit LinuxDistributedBus(Machine& machine) : machine_(machine) {}
    ~LinuxDistributedBus() override;
    void post(const std::string& name, const std::string* object) override;
    int observe(const std::string& name, Handler handler) override;
    void removeObserver(int token) override;

    // The session bus connection, or null (logged once) when none is reachable.
    GDBusConnection* connection();

private:
    struct Subscription;
    Machine& machine_;
    GDBusConnection* connection_ = nullptr;
    bool triedConnecting_ = false;
    std::map<int, Subscription*> subscriptions_;
    int nextToken_ = 1;
};

}  // namespace platform::linux_machine
