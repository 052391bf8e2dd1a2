// Values a program publishes for the other programs of its session, on the
// D-Bus session bus under the name it holds: the object whose path is the
// name with its dots as slashes ("org.example.App" at /org/example/App)
// carries, in the interface named like the bus name, the read-only property
// "Values" (a{ss}, key to value), announced with PropertiesChanged. Anyone
// can read it (busctl --user get-property NAME PATH NAME Values).
//
// Watching a value never waits: the watcher follows the name's owner, reads
// the property when an owner appears, and its announcements after that.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

// "/org/example/App" for "org.example.App".
std::string objectPathForBusName(const std::string& name);

class PublishedValues {
  public:
    PublishedValues();
    ~PublishedValues();
    PublishedValues(const PublishedValues&) = delete;
    PublishedValues& operator=(const PublishedValues&) = delete;

    // Publishes `value` under `key` on `bus`, for the name this process holds.
    void publish(GDBusConnection* bus, const std::string& name, const std::string& key,
                 const std::string& value);

    using Handler = std::function<void(const std::optional<std::string>&)>;
    int watch(GDBusConnection* bus, const std::string& name, const std::string& key,
              Handler handler);
    void unwatch(int token);

  private:
    struct Watch;
    void registerObject(GDBusConnection* bus, const std::string& name);

    GDBusConnection* bus_ = nullptr;  // where the values are published
    std::string name_;
    unsigned registration_ = 0;
    std::map<std::string, std::string> values_;
    std::map<int, std::unique_ptr<Watch>> watches_;
    int nextWatch_ = 1;
};

}  // namespace platform::linux_machine
