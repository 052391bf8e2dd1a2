// The real iio-sensor-proxy daemon (Debian's package) on the test's private
// system bus, reading a light sensor that umockdev fakes in a test bed of its
// own (umockdev-run preloads its sysfs and udev into the daemon only). Beside
// it, polkit as it answers for the user of the active local session
// (python3-dbusmock's polkitd): iio-sensor-proxy 3.7 (Debian 13) asks polkit
// before it lets a client claim the light sensor; 3.0 (Debian 12) does not.
#pragma once

#include <memory>
#include <string>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace testing_support {

// Empty when umockdev-run and python3-dbusmock (for `what`) are there; else
// which is missing.
std::string whyNoTestBedTools(const std::string& what);
// Whether `name` has an owner on the (test's private) system or session bus.
enum class Bus { Session, System };
bool busNameHasOwner(Bus bus, const char* name);

class RealSensorProxy {
  public:
    enum class Sensor {
        IIOLight,  // an ACPI light sensor on IIO, polled by the daemon, in lux
        AppleSMC,  // the Apple SMC's light pair, which the daemon reports as "vendor"
    };

    // Empty when this machine can run the daemon under umockdev; else why not.
    static std::string whyNotRunnable();

    // The IIO light sensor is iio:device<device> (a device that came back from
    // a suspend under another number).
    RealSensorProxy(Sensor sensor, double lux, int device = 0);
    ~RealSensorProxy();
    RealSensorProxy(const RealSensorProxy&) = delete;
    RealSensorProxy& operator=(const RealSensorProxy&) = delete;

    // Starts the daemon on DBUS_SYSTEM_BUS_ADDRESS and waits until it owns its
    // bus name; false (with the daemon's output in `why`) when it does not.
    bool start(std::string* why);
    void stop();
    // Writes the IIO sensor's lux value, as the kernel would update it.
    void setLux(double lux);
    // Sends the daemon a signal (SIGSTOP: a hung service; SIGCONT: going on).
    void signal(int number);
    // The root of the machine the daemon sees (umockdev's sysfs and /dev),
    // once started; empty before.
    const std::string& testBed() const { return testBed_; }

  private:
    TempDir dir_;
    Sensor sensor_;
    double lux_;
    std::string iioDevice_;                 // its sysfs folder
    std::string testBed_;                   // the daemon's umockdev folder
    std::unique_ptr<ChildProcess> polkit_;  // python3-dbusmock's polkitd
    std::unique_ptr<ChildProcess> daemon_;  // umockdev-run
    int daemonPid_ = 0;                     // its child, the daemon
};

// The method calls of the daemon's interface on the system bus, as a
// monitor sees them (the test's private bus lets anyone eavesdrop).
class SensorProxyCalls {
  public:
    SensorProxyCalls();
    ~SensorProxyCalls();
    SensorProxyCalls(const SensorProxyCalls&) = delete;
    SensorProxyCalls& operator=(const SensorProxyCalls&) = delete;
    int count(const std::string& method) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace testing_support
