// Watches the session bus for the platform's distributed notifications, the
// way dbus-monitor would, on a connection of its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;

namespace testing_support {

class SignalCounter {
  public:
    struct Signal {
        std::string name;
        std::string object;
    };
    SignalCounter();
    ~SignalCounter();
    // Turns the GLib main context until `count` signals arrived or 2 s passed.
    const std::vector<Signal>& waitFor(size_t count);
    // Turns the context briefly, then returns what arrived so far.
    const std::vector<Signal>& settle();

  private:
    GDBusConnection* connection_ = nullptr;
    unsigned subscription_ = 0;
    std::vector<Signal> signals_;
};

}  // namespace testing_support
