// A private D-Bus daemon started by a test, so no bus of the machine is used.
// Session: DBUS_SESSION_BUS_ADDRESS points at it for the test's lifetime.
// System: DBUS_SYSTEM_BUS_ADDRESS points at it (for fake logind and
// iio-sensor-proxy services).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "support/TempDir.h"

typedef struct _GDBusConnection GDBusConnection;

namespace testing_support {

// A connection of the test's own to the bus at `address`, as another program
// of the session would have; null (and a test failure) when it cannot connect.
GDBusConnection* connectToBus(const std::string& address);
// RequestName without queueing: 1 when now held, 3 when held already by `c`,
// 3 or another code otherwise, 0 when the bus did not answer.
std::uint32_t requestBusName(GDBusConnection* c, const char* name);

class PrivateBus {
  public:
    enum class Kind { Session, System };
    explicit PrivateBus(Kind kind = Kind::Session);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }
    // Stops the daemon now (the bus "goes away").
    void stop();
    // Freezes the daemon, or lets it go on: a bus that takes no calls.
    void freeze(bool frozen);

  private:
    TempDir dir_;
    pid_t pid_ = -1;
    std::string address_;
    std::unique_ptr<ScopedEnv> env_;
};

}  // namespace testing_support
