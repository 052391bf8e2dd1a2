// iio-sensor-proxy (net.hadess.SensorProxy on the system bus, object
// /net/hadess/SensorProxy): its light level, claimed so that the service keeps
// it up to date. Every read asks the service afresh, so a service that starts,
// stops or restarts is followed (a restarted one is claimed again).
#pragma once

#include <optional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

class SensorProxyClient {
  public:
    enum class Status {
        Unavailable,  // no system bus, no service, or it has no light sensor
        NotLux,       // it has one, but reports in another unit ("vendor": a percentage)
        Reading,      // it has one in lux; `lux` holds the level unless it was garbled
    };
    struct Result {
        Status status = Status::Unavailable;
        std::optional<double> lux;
    };

    SensorProxyClient() = default;
    ~SensorProxyClient();
    SensorProxyClient(const SensorProxyClient&) = delete;
    SensorProxyClient& operator=(const SensorProxyClient&) = delete;

    Result read();

  private:
    // A connection of our own to the system bus (reopened after it closed), or null.
    GDBusConnection* bus();
    bool claimFor(const std::string& owner);

    GDBusConnection* connection_ = nullptr;
    // The unique name of the service instance that holds our claim.
    std::string claimedOwner_;
};

}  // namespace platform::linux_machine
