// iio-sensor-proxy (net.hadess.SensorProxy on the system bus, object
// /net/hadess/SensorProxy): its light level, followed on the thread-default
// main context of the thread that calls follow(). It watches the service's
// owner, claims the light (ClaimLight) from every owner that has a light
// sensor in lux, so a restarted service is claimed again, keeps the level
// from PropertiesChanged, and releases the claim (ReleaseLight) when it is
// destroyed: the service's interface asks its clients to release what they
// no longer read (iio-sensor-proxy 3.0, D-Bus interface documentation of
// ClaimLight and ReleaseLight, src/net.hadess.SensorProxy.xml).
//
// Just after a claim the service still answers the value it had before (0.0
// when it has just started, or the last reading of an earlier claim) until its
// driver's first poll, which it announces with PropertiesChanged. Real
// darkness is 0 lux too, so only the announcement tells a reading from that
// stale value: after every claim the level counts as unconfirmed until the
// claimed instance announces one, or a bounded wait runs out.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "linux/bus/PropertyChangesWatch.h"
#include "linux/bus/ServiceWatch.h"
#include "linux/foundation/OneShotTimer.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GCancellable GCancellable;
typedef struct _GVariant GVariant;
typedef struct _GVariantType GVariantType;

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
        // claim; `lux` is then its unconfirmed value.
        bool announced = true;
        // False while connecting, asking, claiming or waiting (bounded) for the
        // first announcement after a claim: the answer may still change on its own.
        bool known = false;
        std::string why;  // Unavailable and NotLux: why, for a person
    };

    // `changed` is called on the following context whenever current() may have changed.
    explicit SensorProxyClient(std::function<void()> changed = {});
    ~SensorProxyClient();
    SensorProxyClient(const SensorProxyClient&) = delete;
    SensorProxyClient& operator=(const SensorProxyClient&) = delete;

    // Connects to the system bus and starts following the service, on the
    // calling thread's thread-default context; called again now and then, it
    // connects again after the bus went away and retries a failed question.
    void follow();
    Result current() const;
    // After a resume from sleep: gives the claim back and takes it again, so
    // that the service starts its driver afresh (it starts polling at the
    // first client's claim and stops at the last one's release:
    // src/iio-sensor-proxy.c, handle_generic_method_call and client_release,
    // github hadess/iio-sensor-proxy @ 4dda433e); a second ClaimLight from a
    // client that holds a claim does nothing there. The level is unconfirmed
    // again until the service announces one. False when nothing is claimed.
    bool reclaim();
    // One look for a caller that may wait: follows the service on a context of
    // its own until the answer is known (a bounded time), then answers.
    Result read();

  private:
    // A question of the service, at most one in flight (asking_): `answered`
    // gets the reply, null when there is none, unless the question was
    // cancelled (its owner gone, or this client ending).
    using Answered = void (*)(SensorProxyClient* client, GVariant* reply);
    void question(const std::string& destination, const char* interface, const char* method,
                  GVariant* parameters, const GVariantType* replyType, Answered answered);
    void subscribe();
    void forget();
    void ask();
    void claim();
    void release();
    void armFirstAnnouncementWait();
    void takeProperties(GVariant* dict);
    void notify();

    void onAppeared(const std::string& owner);
    void onVanished();
    void onPropertiesChanged(const char* sender, const PropertyChanges& changes);

    std::function<void()> changed_;
    GDBusConnection* connection_ = nullptr;
    bool connectFailed_ = false;
    PropertyChangesWatch announcements_;
    ServiceWatch service_;
    // Cancels the questions in flight when the owner goes or this client ends.
    GCancellable* cancel_ = nullptr;
    bool asking_ = false;
    bool reclaimWanted_ = false;  // asked while another question was in flight
    // The service's unique name; empty while it has none. `ownerKnown_`: the
    // watch has answered at least once.
    std::string owner_;
    bool ownerKnown_ = false;
    bool propertiesKnown_ = false;
    bool hasAmbientLight_ = false;
    std::string unit_;
    std::optional<double> level_;
    // The unique name of the service instance that holds our claim, and of the
    // last instance that announced a light level.
    std::string claimedOwner_;
    std::string announcedBy_;
    OneShotTimer firstAnnouncementWait_;
    bool waitRanOut_ = false;
    GMainContext* ownContext_ = nullptr;  // read()'s
};

}  // namespace platform::linux_machine
