// A private D-Bus daemon started by a test, so no bus of the machine is used.
// Session: DBUS_SESSION_BUS_ADDRESS points at it for the test's lifetime.
// System: DBUS_SYSTEM_BUS_ADDRESS points at it (for fake logind and
// iio-sensor-proxy services).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "support/TempDir.h"

namespace testing_support {

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
