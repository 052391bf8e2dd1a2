// iio-sensor-proxy (net.hadess.SensorProxy on the system bus, object
// /net/hadess/SensorProxy): its light level, claimed so that the service keeps
// it up to date. Every read asks the service afresh, so a service that starts,
// stops or restarts is followed (a restarted one is claimed again).
//
// Just after a claim the service still answers the value it had before (0.0
// when it has just started, or the last reading of an earlier claim) until its
// driver's first poll, which it announces with PropertiesChanged. Real
// darkness is 0 lux too, so only the announcement tells a reading from that
// stale value: after every claim the first read waits for it, for a bounded
// time.
#pragma once

#include <optional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;

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
        // Reading: false while the service has not announced a level since our
        // claim (the bounded wait ran out); `lux` is then its unconfirmed value.
        bool announced = true;
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
    void subscribe();
    void unsubscribe();
    // Handles the announcements received so far, then waits for the claimed
    // instance's first one until `deadline` (monotonic microseconds).
    void awaitAnnouncement(long long deadline);

    GDBusConnection* connection_ = nullptr;
    // The unique name of the service instance that holds our claim.
    std::string claimedOwner_;
    long long claimedAt_ = 0;
    // The unique name of the last instance that announced a light level.
    std::string announcedBy_;
    // Announcements are delivered on a context of our own, turned only inside
    // read(), so waiting for one never runs anybody else's callbacks.
    GMainContext* signals_ = nullptr;
    unsigned subscription_ = 0;
};

}  // namespace platform::linux_machine
