// The machine's place as GeoClue locates it (org.freedesktop.GeoClue2 on the
// system bus), followed on the thread-default main context of the thread that
// calls start(), with asynchronous calls only. The order is the one GeoClue's
// interface asks of an application (interface/org.freedesktop.GeoClue2.*.xml,
// geoclue 2.5.7 and 2.7.2; Debian 12 ships 2.6.0, Debian 13 2.7.2, with the
// same interface):
//
//   Manager.GetClient at /org/freedesktop/GeoClue2/Manager gives the client
//   object; its DesktopId (the desktop file's id: "must be set by
//   applications for authorization to work"), RequestedAccuracyLevel and
//   DistanceThreshold are set; LocationUpdated (old, new) is subscribed
//   before Client.Start, as the interface asks; each new path is an
//   org.freedesktop.GeoClue2.Location object whose Latitude, Longitude and
//   Description are read. Stop when this client ends.
//
// GeoClue stops a started client on its own when the person switches
// location services off (on_agent_props_changed: Active goes false, announced
// with PropertiesChanged); it starts it again, with a new LocationUpdated,
// when they are switched on.
//
// Start can take long: without an agent GeoClue holds it for 5 s before it
// refuses, and an agent may ask the person first (src/gclue-service-client.c,
// DEFAULT_AGENT_STARTUP_WAIT_SECS, handle_pending_auth); GetClient may wait
// up to 20 s for agents right after GeoClue was started for us
// (src/gclue-service-manager.c, AGENT_WAIT_TIMEOUT). A refusal is the D-Bus
// error org.freedesktop.DBus.Error.AccessDenied ("Geolocation disabled for
// UID …" where the person switched location services off, "Agent rejected
// …", "'…' disallowed, no agent for UID …").
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "linux/bus/PropertyChangesWatch.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GCancellable GCancellable;
typedef struct _GVariant GVariant;

namespace platform::linux_machine {

struct LocatedPlace {
    double latitude = 0.0;    // degrees, north positive
    double longitude = 0.0;   // degrees, east positive
    std::string description;  // GeoClue's, often empty
};

class GeoClueClient {
  public:
    // GClueAccuracyLevel CITY (public-api/gclue-enums.h): the
    // sun's position needs no more, and a person may allow no more.
    static constexpr unsigned kCityAccuracy = 4;
    // In metres: within 10 km the sun rises and sets less than a minute
    // apart, so nearer moves are not worth hearing of.
    static constexpr unsigned kDistanceThreshold = 10000;

    // `located` runs on the following context at every new place;
    // `failed` once, with why for a person, when no place will come;
    // `stopped` when GeoClue stops locating (a place may come again later).
    GeoClueClient(std::string desktopId, std::function<void(const LocatedPlace&)> located,
                  std::function<void(const std::string&)> failed,
                  std::function<void()> stopped = {});
    // Stops the client (a bounded wait) and cancels what is in flight.
    ~GeoClueClient();
    GeoClueClient(const GeoClueClient&) = delete;
    GeoClueClient& operator=(const GeoClueClient&) = delete;

    // Connects to the system bus and asks for the place (once).
    void start();

  private:
    using Answered = void (*)(GeoClueClient* client, GVariant* reply, const std::string& error);
    void call(const std::string& path, const char* interface, const char* method,
              GVariant* parameters, const char* replyType, int timeoutMs, Answered answered);
    void setProperty(const char* name, GVariant* value, Answered next);
    void subscribe();
    void fail(const std::string& why);
    void readLocation(const std::string& path);
    void onActiveChanged(const PropertyChanges& changes);

    static void onLocationUpdated(GDBusConnection*, const char*, const char*, const char*,
                                  const char*, GVariant* parameters, void* self);

    std::string desktopId_;
    std::function<void(const LocatedPlace&)> located_;
    std::function<void(const std::string&)> failed_;
    std::function<void()> stopped_;
    bool started_ = false;
    bool failedOnce_ = false;
    bool running_ = false;  // Start was answered
    GDBusConnection* connection_ = nullptr;
    GCancellable* cancel_ = nullptr;
    unsigned subscription_ = 0;
    PropertyChangesWatch activeChanges_;
    std::string clientPath_;
    // The newest Location path announced; an older answer is dropped.
    std::string newestLocation_;
};

}  // namespace platform::linux_machine
