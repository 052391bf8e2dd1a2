// A stand-in for iio-sensor-proxy on a (private) system bus: owns
// net.hadess.SensorProxy, serves HasAmbientLight, LightLevelUnit, LightLevel
// and ClaimLight/ReleaseLight at /net/hadess/SensorProxy. Like the real
// service (iio-sensor-proxy 2.8, src/iio-sensor-proxy.c, send_dbus_event) it
// announces a sensor that comes or goes to everyone with PropertiesChanged
// (HasAmbientLight, then the unit and level when there is one), and a level
// (LightLevelUnit and LightLevel) right after a claim and at every change
// while claimed, unless silenced (like a service whose driver has not polled
// yet). It runs on its own thread and main context.
#pragma once

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>

typedef struct _GMainLoop GMainLoop;
typedef struct _GDBusConnection GDBusConnection;

class FakeSensorProxy {
  public:
    struct State {
        bool hasAmbientLight = true;
        std::string unit = "lux";
        double level = 0.0;
    };

    explicit FakeSensorProxy(const std::string& busAddress, State initial);
    ~FakeSensorProxy();

    void setState(const State& state);
    // From now on no announcement is sent.
    void silence() { announces_ = false; }
    // Claims and releases received so far.
    int claims() const { return claims_; }
    int releases() const { return releases_; }
    // Gives up the bus name, as a stopping service does.
    void releaseName();

  private:
    friend struct FakeSensorProxyAccess;
    void run(const std::string& busAddress, std::promise<bool>& started);
    State state() const;

    mutable std::mutex mutex_;
    State state_;
    std::atomic<int> claims_{0};
    std::atomic<int> releases_{0};
    std::atomic<bool> announces_{true};
    std::thread thread_;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* connection_ = nullptr;
};
