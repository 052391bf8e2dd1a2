// The Linux light sources, watched on a thread of their own with its own
// GLib main context: iio-sensor-proxy (claimed and followed there), the IIO
// light device (read once a second while the proxy gives no lux) and the
// Apple SMC's `light` attribute (read once a second). What they give is held
// under a lock, so the back-end answers its callers at once from it: only
// this thread touches the bus and the devices.
//
// The service client's choice, made afresh at every tick and proxy event:
// iio-sensor-proxy when it has a light sensor in lux and has announced a
// reading since our claim; while its level is unconfirmed, the IIO device's
// own files, or without one the unconfirmed level once the bounded wait has
// run out; without a proxy in lux, the first IIO device with an illuminance
// channel (IIOLightSensor); else none.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "HardwareFindings.h"
#include "linux/AppleSMCLight.h"

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace platform::linux_machine {

class SensorProxyClient;

struct HeldServiceClient {
    // The first real answer is known: the proxy's state is settled (no bus, no
    // service, not in lux, or a claimed level announced or waited for).
    bool settled = false;
    bool inUse = false;      // a source is chosen; its value may still be garbled
    std::string source;      // its name, for the log
    std::optional<double> lux;  // its value; absent when none is in use or it is garbled
    double lastGood = 0.0;      // the last real reading; 0.0 before the first
    std::vector<HardwareFinding> findings;
};

struct HeldController {
    bool read = false;  // looked at least once
    std::optional<SMCLightValues> values;
    bool pairSeen = false;     // the right value has been non-zero
    unsigned changes = 0;      // how often the values changed
    HardwareFinding finding;
};

class LinuxLightSources {
  public:
    // `newsForMainThread` is called on the sources' thread when log lines or a
    // change of the SMC's values wait to be taken (takeNews()) on the main thread.
    explicit LinuxLightSources(std::function<void()> newsForMainThread);
    // Releases the claim and joins the thread.
    ~LinuxLightSources();
    LinuxLightSources(const LinuxLightSources&) = delete;
    LinuxLightSources& operator=(const LinuxLightSources&) = delete;

    // Start following each kind (once; later calls do nothing).
    void followServiceClient();
    void followController();

    HeldServiceClient serviceClient() const;
    HeldController controller() const;
    unsigned controllerChanges() const;
    // The controller's finding; before it is followed, whether the SMC is there.
    HardwareFinding controllerFinding() const;
    // Wait until the first answer is known, at most `seconds`; false when it is not.
    bool awaitServiceClient(double seconds);
    bool awaitController(double seconds);
    // Log lines written since the last call.
    std::vector<std::string> takeNews();

  private:
    void startThread();
    void run();
    void tick();
    void startServiceClient();
    void evaluateServiceClient();
    void pollController();
    void tellMainThread(bool news);

    std::function<void()> newsForMainThread_;
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    HeldServiceClient serviceClient_;
    HeldController controller_;
    std::vector<std::string> news_;
    bool serviceClientWanted_ = false;
    bool controllerWanted_ = false;

    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;

    // The thread's own.
    std::unique_ptr<SensorProxyClient> proxy_;
    bool followingServiceClient_ = false;
    bool followingController_ = false;
    std::string loggedSource_ = "(not yet looked for)";
    bool loggedGarbled_ = false;
    bool loggedSMCUnreadable_ = false;
    std::optional<SMCLightValues> lastSMCValues_;
};

}  // namespace platform::linux_machine
