// Distributed notifications as signals on the D-Bus session bus, so any
// program can watch them with dbus-monitor:
//
//   path      /DistributedNotificationCenter
//   interface platform.DistributedNotificationCenter
//   member    Notification
//   arguments (s name, s object)   object is "" when the notification has none
//
// Signals are broadcast (no destination). A window's thread reaches the bus
// without waiting (it posts at every slider move): posts made before the
// connection is there are sent once it is, in order. Without a reachable
// bus each post logs one line and is dropped; the caller goes on.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "machine/Machine.h"

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

  private:
    struct Subscription;
    // True when connected; otherwise starts connecting, without waiting.
    bool usable();
    void connect();
    void connected(GDBusConnection* connection, const std::string& why);
    void send(const std::string& name, const std::string* object);
    void subscribe(Subscription& sub);

    Machine& machine_;
    GDBusConnection* connection_ = nullptr;
    bool connecting_ = false;
    bool failed_ = false;  // no bus: not asked again until a connection closes
    std::vector<std::pair<std::string, std::optional<std::string>>> queued_;
    std::map<int, Subscription*> subscriptions_;
    int nextToken_ = 1;
    // Asynchronous answers hold it weakly: gone with this object.
    std::shared_ptr<LinuxDistributedBus*> alive_ = std::make_shared<LinuxDistributedBus*>(this);
};

}  // namespace platform::linux_machine
