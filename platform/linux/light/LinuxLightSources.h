// The Linux light sources, watched on a thread of their own with its own
// GLib main context: iio-sensor-proxy (claimed and followed there, claimed
// again after a resume), the IIO light device (read once a second while the
// proxy gives no lux), the Apple SMC's `light` attribute (read once a second),
// the lid (LidSwitch.h) and the sun's estimate (SunLight.h). What they give
// is held under a lock, so the back-end answers its callers at once from it:
// only this thread touches the bus and the devices.
//
// The service client's sensor, chosen afresh at every tick and proxy event:
// iio-sensor-proxy when it has a light sensor in lux and has announced a
// reading since our claim; while its level is unconfirmed, the IIO device's
// own files, or without one the unconfirmed level once the bounded wait has
// run out; without a proxy in lux, the first IIO device with an illuminance
// channel (IIOLightSensor); else none. The SMC is the controller's sensor.
// Each kind's readings then go through a handover (LightHandover.h) that
// hands on the sensor's light while it can be trusted and the sun's estimate
// otherwise, and says in the journal when that changes (HandoverNews.h).
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "linux/light/AppleSMCLight.h"
#include "linux/light/LightHandover.h"
#include "machine/HardwareFindings.h"
#include "machine/LightEstimate.h"

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace platform::linux_machine {

class SensorProxyClient;
class LidSwitch;
class SunLight;

struct HeldServiceClient {
    // The first real answer is known: the proxy's state is settled (no bus, no
    // service, not in lux, or a claimed level announced or waited for).
    bool settled = false;
    bool inUse = false;         // a source is chosen; its value may still be garbled
    std::string source;         // its name, for the log
    std::optional<double> lux;  // its value; absent when none is in use or it is garbled
    double lastGood = 0.0;      // the last real reading; 0.0 before the first
    std::vector<HardwareFinding> findings;
    std::optional<LightEstimateInUse> estimate;  // while the lux is the sun's
};

struct HeldController {
    bool read = false;  // looked at least once
    std::optional<SMCLightValues> values;
    bool pairSeen = false;  // the right value has been non-zero
    // The two outputs of scalar method 0: the SMC's own, or the sun's
    // estimate on the controller's scale; absent when there is neither.
    std::optional<std::array<std::uint64_t, 2>> outputs;
    unsigned changes = 0;  // how often the outputs changed
    HardwareFinding finding;
    std::optional<LightEstimateInUse> estimate;
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
    // What the sun's estimate is told; handed to the thread.
    void setEstimateOptions(const LightEstimateOptions& options);

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
    // The first call for a kind of source (`wanted` false) starts the thread
    // and `start` on it; later calls do nothing.
    void followOnce(bool& wanted, std::function<void()> start);
    void startThread();
    void run();
    void tick();
    void startShared();
    void startServiceClient();
    void evaluateServiceClient();
    void pollController();
    void evaluateAll();
    void woke();
    HandoverInputs handoverInputs(const std::optional<double>& sensorSteps);
    std::optional<LightEstimateInUse> estimateOf(const HandoverOutput& out) const;
    void locateWhileEstimating();
    // Keeps what a look found (`store` runs under the lock) and its log
    // lines, then wakes the callers waiting for an answer and, with news,
    // the main thread.
    void publish(std::vector<std::string>& lines, bool news, const std::function<void()>& store);
    void tellMainThread(bool news);

    std::function<void()> newsForMainThread_;
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    HeldServiceClient serviceClient_;
    HeldController controller_;
    std::vector<std::string> news_;
    bool serviceClientWanted_ = false;
    bool controllerWanted_ = false;
    LightEstimateOptions wantedOptions_;

    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;

    // The thread's own.
    std::unique_ptr<SensorProxyClient> proxy_;
    std::unique_ptr<LidSwitch> lid_;
    std::unique_ptr<SunLight> sun_;
    LightEstimateOptions options_;
    LightHandover serviceHandover_;
    LightHandover controllerHandover_;
    bool followingServiceClient_ = false;
    bool followingController_ = false;
    std::string loggedSource_ = "(not yet looked for)";
    bool loggedGarbled_ = false;
    bool loggedSMCUnreadable_ = false;
    // The service client's lux last handed on.
    std::optional<double> handedOnLux_;
    // The SMC's outputs of the reading that stands.
    std::optional<std::array<std::uint64_t, 2>> standingOutputs_;
    std::optional<std::array<std::uint64_t, 2>> lastOutputs_;
};

}  // namespace platform::linux_machine
