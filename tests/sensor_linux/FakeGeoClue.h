// A stand-in for GeoClue on a private system bus, served on its own thread,
// written from geoclue 2.5.7 and 2.7.2 (interface/org.freedesktop.GeoClue2.
// Manager.xml, .Client.xml, .Location.xml; src/gclue-service-manager.c,
// src/gclue-service-client.c): it owns org.freedesktop.GeoClue2; GetClient
// on /org/freedesktop/GeoClue2/Manager gives /org/freedesktop/GeoClue2/Client/1
// with DesktopId, RequestedAccuracyLevel, DistanceThreshold (read-write),
// Location ("/" until located) and Active; Start refuses with
// org.freedesktop.DBus.Error.AccessDenied "'DesktopId' property must be set"
// without a desktop id and "Geolocation disabled for UID 1000" where the
// person switched location services off (handle_post_agent_check_auth), else
// starts; each place found while started is a new object
// <client>/Location/<n> (next_location_path) with Latitude, Longitude and
// Description, announced with LocationUpdated (old, new) to the client's
// connection alone (emit_location_updated), "/" as old the first time.
// Location services switched off stop the client, Active false announced
// with PropertiesChanged; switched on again, it starts anew and announces
// the place (on_agent_props_changed, stop_client, start_client).
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

typedef struct _GMainLoop GMainLoop;
typedef struct _GDBusConnection GDBusConnection;

class FakeGeoClue {
  public:
    struct Place {
        double latitude;
        double longitude;
        std::string description;
    };
    explicit FakeGeoClue(const std::string& busAddress, bool denied = false);
    ~FakeGeoClue();

    // The place GeoClue finds from now on (announced at once when started).
    void locate(const Place& place);
    // The person switches location services off or on.
    void switchLocationServices(bool on);

    // What the client set and asked.
    std::string desktopId() const;
    unsigned accuracy() const { return accuracy_; }
    unsigned distanceThreshold() const { return distance_; }
    int starts() const { return starts_; }
    int stops() const { return stops_; }

  private:
    friend struct FakeGeoClueAccess;
    void run(const std::string& busAddress);
    void announce();  // on the fake's thread

    const bool denied_;
    mutable std::mutex mutex_;
    std::string desktopId_;
    std::string peer_;  // the client's unique name
    std::optional<Place> place_;
    unsigned published_ = 0;  // Location objects so far
    std::atomic<unsigned> accuracy_{0};
    std::atomic<unsigned> distance_{0};
    std::atomic<int> starts_{0};
    std::atomic<int> stops_{0};
    std::atomic<bool> active_{false};
    std::vector<unsigned> registrations_;  // the objects on the bus, on the fake's thread
    std::thread thread_;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* connection_ = nullptr;
};
