#include "linux/light/LinuxLightSources.h"

#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "linux/devices/DrmConnectors.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"
#include "linux/light/HandoverNews.h"
#include "linux/light/IIOLightSensor.h"
#include "linux/light/LidSwitch.h"
#include "linux/light/SMCLightScale.h"
#include "linux/light/SensorProxyClient.h"
#include "linux/light/SunEstimate.h"
#include "linux/light/SunLight.h"

namespace platform::linux_machine {
namespace {

using Status = SensorProxyClient::Status;

constexpr guint kPollIntervalMs = 1000;
constexpr const char* kProxyName = "iio-sensor-proxy";
constexpr const char* kProxyLogName = "iio-sensor-proxy (net.hadess.SensorProxy)";
constexpr const char* kSMCName = "Apple SMC";
constexpr const char* kSMCLogName = "the Apple SMC light sensor (applesmc)";

double monotonicSeconds() {
    return static_cast<double>(g_get_monotonic_time()) / 1e6;
}

// The built-in panel is there but switched off (DRM connector enabled
// "disabled"): the display settings turned it off, or its lid is shut.
bool builtinPanelOff() {
    bool any = false;
    for (const auto& c : listDrmConnectors().connectors) {
        if (!c.builtin)
            continue;
        any = true;
        if (c.active)
            return false;
    }
    return any;
}

// A sensor finding that says the sensor is there but not what is used.
void setAside(std::vector<HardwareFinding>& findings) {
    for (auto& f : findings)
        if (f.reason == FindingReason::InUse)
            f.reason = FindingReason::SetAside;
}

LightEstimateCause causeOf(SunBecause because) {
    switch (because) {
        case SunBecause::NoSensor:
            return LightEstimateCause::NoSensor;
        case SunBecause::LidClosed:
            return LightEstimateCause::LidClosed;
        case SunBecause::PanelOff:
            return LightEstimateCause::PanelOff;
        case SunBecause::SensorStopped:
            return LightEstimateCause::SensorStopped;
        case SunBecause::Preferred:
            return LightEstimateCause::Preferred;
    }
    return LightEstimateCause::NoSensor;
}

std::string luxText(double lux) {
    char text[48];
    std::snprintf(text, sizeof text, "%.1f lux", lux);
    return text;
}

// Runs `work` on the thread that turns `context`.
void invokeOn(GMainContext* context, std::function<void()> work) {
    g_main_context_invoke_full(
        context, G_PRIORITY_DEFAULT,
        [](gpointer w) -> gboolean {
            (*static_cast<std::function<void()>*>(w))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(work)),
        [](gpointer w) { delete static_cast<std::function<void()>*>(w); });
}

// The service client's choice from the proxy's state and the IIO device.
struct Choice {
    std::string source;  // for the log; empty: none
    bool inUse = false;
    std::optional<double> lux;
    std::vector<HardwareFinding> findings;
};

void useIIO(Choice& c, const std::optional<std::string>& device) {
    if (!device) {
        c.findings.push_back(
            {"IIO", FindingReason::NotPresent,
             "no device with an illuminance channel in " + underSysroot("/sys/bus/iio/devices")});
        return;
    }
    c.inUse = true;
    c.source = IIOLightSensor::describe(*device);
    c.lux = IIOLightSensor::readLux(*device);
    c.findings.push_back({"IIO " + baseName(*device),
                          c.lux ? FindingReason::InUse : FindingReason::Unreadable,
                          c.lux ? *device + ", " + luxText(*c.lux) : *device});
}

void useProxy(Choice& c, const SensorProxyClient::Result& p) {
    c.inUse = true;
    c.source = kProxyLogName;
    c.lux = p.lux;
    std::string detail = p.lux ? luxText(*p.lux) : "a garbled level";
    if (!p.announced)
        detail += ", not confirmed by an announcement";
    c.findings.push_back(
        {kProxyName, p.lux ? FindingReason::InUse : FindingReason::Unreadable, detail});
}

Choice choose(const SensorProxyClient::Result& p) {
    Choice c;
    if (p.status == Status::Reading && p.announced) {
        useProxy(c, p);
        return c;
    }
    if (p.status == Status::Reading) {
        // Claimed, but its level is still the one from before the claim.
        c.findings.push_back(
            {kProxyName, FindingReason::NotYetKnown, "claimed; no reading announced yet"});
        auto device = IIOLightSensor::findDevice();
        if (device || !p.known) {
            useIIO(c, device);
            return c;
        }
        c.findings.clear();
        useProxy(c, p);
        return c;
    }
    FindingReason reason = !p.known                     ? FindingReason::NotYetKnown
                           : p.status == Status::NotLux ? FindingReason::NotLux
                                                        : FindingReason::NotPresent;
    c.findings.push_back({kProxyName, reason, p.why});
    useIIO(c, IIOLightSensor::findDevice());
    return c;
}

HardwareFinding smcAbsent() {
    return {kSMCName, FindingReason::NotPresent,
            "no applesmc device with a light attribute in " + underSysroot("/sys/bus/platform")};
}

bool permissionDenied(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EACCES || errno == EPERM;
}

}  // namespace

LinuxLightSources::LinuxLightSources(std::function<void()> newsForMainThread)
    : newsForMainThread_(std::move(newsForMainThread)) {}

LinuxLightSources::~LinuxLightSources() {
    if (!thread_.joinable())
        return;
    invokeOn(context_, [this] { g_main_loop_quit(loop_); });
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void LinuxLightSources::startThread() {
    if (thread_.joinable())
        return;
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([this] { run(); });
}

void LinuxLightSources::run() {
    g_main_context_push_thread_default(context_);
    startShared();
    GSource* ticks = g_timeout_source_new(kPollIntervalMs);
    g_source_set_callback(
        ticks,
        [](gpointer self) -> gboolean {
            static_cast<LinuxLightSources*>(self)->tick();
            return G_SOURCE_CONTINUE;
        },
        this, nullptr);
    g_source_attach(ticks, context_);
    g_main_loop_run(loop_);
    g_source_destroy(ticks);
    g_source_unref(ticks);
    proxy_.reset();  // releases the claim
    lid_.reset();
    sun_.reset();
    g_main_context_pop_thread_default(context_);
}

void LinuxLightSources::followOnce(bool& wanted, std::function<void()> start) {
    {
        std::lock_guard lock(mutex_);
        if (wanted)
            return;
        wanted = true;
    }
    startThread();
    invokeOn(context_, std::move(start));
}

void LinuxLightSources::followServiceClient() {
    followOnce(serviceClientWanted_, [this] { startServiceClient(); });
}

void LinuxLightSources::followController() {
    followOnce(controllerWanted_, [this] {
        followingController_ = true;
        pollController();
    });
}

void LinuxLightSources::tick() {
    lid_->follow();
    if (followingServiceClient_) {
        proxy_->follow();
        evaluateServiceClient();
    }
    if (followingController_)
        pollController();
}

// The lid and the sun serve both kinds; they start with the thread.
void LinuxLightSources::startShared() {
    lid_ = std::make_unique<LidSwitch>([this] { evaluateAll(); }, [this] { woke(); });
    sun_ = std::make_unique<SunLight>([this] { evaluateAll(); },
                                      [this](const std::string& line) {
                                          {
                                              std::lock_guard lock(mutex_);
                                              news_.push_back(line);
                                          }
                                          tellMainThread(true);
                                      });
    lid_->follow();
    sun_->start();
}

void LinuxLightSources::evaluateAll() {
    if (followingServiceClient_)
        evaluateServiceClient();
    if (followingController_)
        pollController();
}

void LinuxLightSources::setEstimateOptions(const LightEstimateOptions& options) {
    {
        std::lock_guard lock(mutex_);
        if (wantedOptions_ == options)
            return;
        wantedOptions_ = options;
    }
    startThread();
    invokeOn(context_, [this, options] {
        options_ = options;
        sun_->setDaylightShare(options.daylightShare);
        evaluateAll();
    });
}

// The clock jumped and the sensor may have stopped in the sleep: the
// estimate is worked out again, iio-sensor-proxy claimed again, and the IIO
// device looked for afresh at the next evaluation (it may come back under
// another number).
void LinuxLightSources::woke() {
    sun_->again();
    std::vector<std::string> lines;
    if (followingServiceClient_ && proxy_->reclaim())
        lines.push_back("Resumed from sleep: claiming the light sensor of " +
                        std::string(kProxyLogName) + " again");
    else if (followingServiceClient_ || followingController_)
        lines.push_back("Resumed from sleep: reading the light sensor afresh");
    {
        std::lock_guard lock(mutex_);
        for (auto& line : lines)
            news_.push_back(std::move(line));
    }
    tellMainThread(!lines.empty());
    evaluateAll();
}

HandoverInputs LinuxLightSources::handoverInputs(const std::optional<double>& sensorSteps) {
    HandoverInputs in;
    // On a daylight clock faster than real time the handover's own waits
    // (readings that stand, glides) run as much faster.
    in.seconds = monotonicSeconds() * sun_->pace();
    in.daylightTime = sun_->daylightTime();
    in.sensor = sensorSteps;
    in.sun = sun_->steps();
    in.lidClosed = lid_->closed();
    in.preferSun = options_.preferEstimate;
    // Read only when it could matter: the sensor far darker than the estimate.
    if (sensorSteps && in.sun && *sensorSteps < *in.sun - LightHandover::kFarDarker)
        in.panelOff = builtinPanelOff();
    return in;
}

std::optional<LightEstimateInUse> LinuxLightSources::estimateOf(const HandoverOutput& out) const {
    if (out.from != LightFrom::Sun)
        return std::nullopt;
    return LightEstimateInUse{sun_->placeName(), causeOf(out.because)};
}

void LinuxLightSources::startServiceClient() {
    proxy_ = std::make_unique<SensorProxyClient>([this] { evaluateServiceClient(); });
    followingServiceClient_ = true;
    proxy_->follow();
    evaluateServiceClient();
}

void LinuxLightSources::evaluateServiceClient() {
    if (!followingServiceClient_)
        return;  // still inside the proxy client's first follow()
    const auto proxied = proxy_->current();
    Choice choice = choose(proxied);
    const bool settled = proxied.known;

    std::vector<std::string> lines;
    if (choice.source != loggedSource_ && (settled || !choice.source.empty())) {
        lines.push_back(choice.source.empty() ? std::string("Ambient light sensor: none found")
                                              : "Ambient light sensor: reading " + choice.source);
        loggedSource_ = choice.source;
        serviceHandover_.sensorReplaced();
        loggedGarbled_ = false;
    }
    const bool garbled = choice.inUse && !choice.lux;
    if (garbled && !loggedGarbled_)
        lines.push_back("Ambient light sensor: unreadable or garbled value from " + choice.source);
    loggedGarbled_ = garbled;

    // Before the first real answer nothing is handed over: the sources have
    // not said yet whether there is a sensor.
    const std::optional<double> sensorSteps =
        choice.lux ? std::optional<double>(lightSteps(*choice.lux)) : std::nullopt;
    const HandoverOutput before = serviceHandover_.current();
    const HandoverOutput out =
        settled || choice.lux ? serviceHandover_.update(handoverInputs(sensorSteps)) : before;
    if (auto line = handoverNews(before, out,
                                 {choice.source.empty() ? loggedSource_ : choice.source,
                                  sun_->placeText(), choice.lux.has_value()}))
        lines.push_back(*line);
    // The sensor's own lux for its reading, and the same lux again for the
    // same value (no rounding through the scale announces a change).
    std::optional<double> lux;
    if (out.steps && out.from == LightFrom::Sensor && choice.lux && out.steps == sensorSteps)
        lux = choice.lux;
    else if (out.steps && handedOnLux_ && lightSteps(*handedOnLux_) == *out.steps)
        lux = handedOnLux_;
    else if (out.steps)
        lux = luxForSteps(*out.steps);
    if (lux)
        handedOnLux_ = lux;
    const bool fromSun = out.from == LightFrom::Sun;
    if (fromSun)
        locateWhileEstimating();
    if (fromSun || out.from == LightFrom::Held)
        setAside(choice.findings);
    // The sun where it can stand in, or where nothing else gives light.
    if (sun_->hasPlace() || !choice.inUse)
        choice.findings.push_back(sun_->finding(fromSun));

    const bool news = !lines.empty();
    publish(lines, news, [&] {
        auto& held = serviceClient_;
        held.settled = held.settled || settled;
        held.inUse = choice.inUse || out.steps.has_value();
        held.source = fromSun ? "the sun's estimate at " + sun_->placeName() : choice.source;
        held.lux = lux;
        if (held.lux)
            held.lastGood = *held.lux;
        held.findings = std::move(choice.findings);
        held.estimate = estimateOf(out);
    });
}

void LinuxLightSources::pollController() {
    HardwareFinding finding;
    std::optional<SMCLightValues> values;
    std::vector<std::string> lines;
    auto folder = AppleSMCLight::deviceFolder();
    if (!folder) {
        finding = smcAbsent();
    } else if ((values = AppleSMCLight::read())) {
        finding = {kSMCName, FindingReason::InUse,
                   "(" + std::to_string(values->left) + "," + std::to_string(values->right) +
                       ") from " + *folder + "/light"};
        loggedSMCUnreadable_ = false;
    } else {
        const std::string path = *folder + "/light";
        finding = {
            kSMCName,
            permissionDenied(path) ? FindingReason::PermissionDenied : FindingReason::Unreadable,
            path};
    }
    if (folder && !values && !loggedSMCUnreadable_) {
        lines.push_back("Apple SMC light sensor unreadable: " + AppleSMCLight::attributePath());
        loggedSMCUnreadable_ = true;
    }
    bool pairSeen = false;
    {
        std::lock_guard lock(mutex_);
        pairSeen = controller_.pairSeen || (values && values->right != 0);
    }
    // The SMC's own outputs while they stand; the sun's estimate on the
    // controller's scale while the SMC is covered or stopped.
    std::optional<double> sensorLevel;
    std::uint64_t smcOutputs[2] = {0, 0};
    if (values) {
        controllerValuesForSMCLight(*values, pairSeen, smcOutputs);
        sensorLevel = controllerLevelForOutputs(smcOutputs);
    }
    const HandoverOutput before = controllerHandover_.current();
    const HandoverOutput out =
        folder || before.steps ? controllerHandover_.update(handoverInputs(sensorLevel)) : before;
    if (auto line = handoverNews(before, out, {kSMCLogName, sun_->placeText(), values.has_value()}))
        lines.push_back(*line);
    // The SMC's own outputs for a reading that stands (the filter may still
    // hand on an earlier one); synthesised ones for anything else.
    std::optional<std::array<std::uint64_t, 2>> outputs;
    if (out.from == LightFrom::Sensor && values && out.steps == sensorLevel)
        standingOutputs_ = std::array<std::uint64_t, 2>{smcOutputs[0], smcOutputs[1]};
    if (out.from == LightFrom::Sensor && standingOutputs_ &&
        out.steps == controllerLevelForOutputs(standingOutputs_->data())) {
        outputs = standingOutputs_;
    } else if (out.steps) {
        const std::uint64_t v = controllerValueForLevel(*out.steps);
        outputs = std::array<std::uint64_t, 2>{v, v};
    }
    if (out.from == LightFrom::Sun)
        locateWhileEstimating();
    const bool changed = outputs && outputs != lastOutputs_;
    if (outputs)
        lastOutputs_ = outputs;
    const bool news = !lines.empty() || changed;
    publish(lines, news, [&] {
        auto& held = controller_;
        held.read = true;
        held.values = values;
        held.pairSeen = pairSeen;
        held.outputs = outputs;
        held.changes += changed ? 1 : 0;
        held.finding = finding;
        if (out.from != LightFrom::Sensor && finding.reason == FindingReason::InUse)
            held.finding.reason = FindingReason::SetAside;
        held.estimate = estimateOf(out);
    });
}

// The place is asked of the desktop's location service only once the
// estimate is in use, so a machine whose sensor works never asks. Outside the
// lock: an answer known at once is logged.
void LinuxLightSources::locateWhileEstimating() {
    sun_->locateAs(options_.locationAppId);
}

void LinuxLightSources::publish(std::vector<std::string>& lines, bool news,
                                const std::function<void()>& store) {
    {
        std::lock_guard lock(mutex_);
        store();
        // With the answer, so a caller woken by it finds its log lines too.
        for (auto& line : lines)
            news_.push_back(std::move(line));
    }
    answered_.notify_all();
    tellMainThread(news);
}

void LinuxLightSources::tellMainThread(bool news) {
    if (news && newsForMainThread_)
        newsForMainThread_();
}

HeldServiceClient LinuxLightSources::serviceClient() const {
    std::lock_guard lock(mutex_);
    return serviceClient_;
}

HeldController LinuxLightSources::controller() const {
    std::lock_guard lock(mutex_);
    return controller_;
}

unsigned LinuxLightSources::controllerChanges() const {
    std::lock_guard lock(mutex_);
    return controller_.changes;
}

HardwareFinding LinuxLightSources::controllerFinding() const {
    {
        std::lock_guard lock(mutex_);
        if (controller_.read)
            return controller_.finding;
    }
    // Not followed: only whether it is there, from a listing.
    if (!AppleSMCLight::present())
        return smcAbsent();
    return {kSMCName, FindingReason::NotYetKnown, "not read: the controller is not in use"};
}

bool LinuxLightSources::awaitServiceClient(double seconds) {
    std::unique_lock lock(mutex_);
    return answered_.wait_for(lock, std::chrono::duration<double>(seconds),
                              [this] { return serviceClient_.settled; });
}

bool LinuxLightSources::awaitController(double seconds) {
    std::unique_lock lock(mutex_);
    return answered_.wait_for(lock, std::chrono::duration<double>(seconds),
                              [this] { return controller_.read; });
}

std::vector<std::string> LinuxLightSources::takeNews() {
    std::lock_guard lock(mutex_);
    return std::exchange(news_, {});
}

}  // namespace platform::linux_machine
