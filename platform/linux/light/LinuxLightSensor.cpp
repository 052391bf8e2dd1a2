#include "linux/light/LinuxLightSensor.h"

#include <glib.h>

#include "IOKit/IONotificationPort.h"
#include "linux/devices/SysfsFiles.h"
#include "linux/devices/Sysroot.h"
#include "linux/light/AppleSMCLight.h"
#include "linux/light/IIOLightSensor.h"
#include "linux/light/LinuxLightSources.h"
#include "linux/light/ZonePlace.h"
#include "machine/Machine.h"

namespace platform::linux_machine {
namespace {

constexpr io_service_t kSMCLightService = 0x534d4331;
constexpr io_connect_t kSMCLightConnection = 0x534d4332;
// How long a process that may wait gives the first reading at most: the
// proxy's bounded wait for its first announcement after the claim (1.5 s) with
// the bus questions before it.
constexpr double kFirstReadingWait = 3.0;
constexpr double kFirstSMCReadWait = 1.0;

void logLine(const std::string& line) {
    if (Machine::isInstalled())
        Machine::current().writeLog(line);
}

bool mayWait() {
    return !Machine::isInstalled() || !Machine::current().mainThreadNeverWaits();
}

// Whether a light sensor in lux may be here, told from a listing of sysfs
// alone (no device is read): an IIO device with an illuminance channel that
// IIOLightSensor reads, or one that iio-sensor-proxy reads through its buffer.
// iio-sensor-proxy gives lux only from IIO devices: its light drivers are
// iio-poll-als (in_illuminance_input, in_illuminance0_input or
// in_illuminance_raw), iio-buffer-als (scan_elements/in_intensity_both_en),
// both in lux, and hwmon-als, the Apple SMC's light, in "vendor" units, which
// the service client does not take (iio-sensor-proxy 3.0, Debian 3.0-2,
// 80-iio-sensor-proxy.rules; src/drv-iio-poll-light.c, drv-iio-buffer-light.c,
// drv-hwmon-light.c: readings.uses_lux). So where no such device is listed,
// neither source can give a reading.
bool luxSensorListed() {
    if (IIOLightSensor::findDevice())
        return true;
    const std::string devices = underSysroot("/sys/bus/iio/devices");
    for (const auto& name : folderEntries(devices))
        if (pathExists(devices + "/" + name + "/scan_elements/in_intensity_both_en"))
            return true;
    return false;
}

}  // namespace

// What lives on the main thread: the sources, and the SMC's interest
// registrations, which get their messages from the sources' news.
struct LinuxLightSensor::MainSide {
    struct Registration {
        std::string interestType;
        std::function<void(std::uint32_t, void*)> deliver;
    };
    std::vector<Registration> registrations;
    unsigned deliveredChanges = 0;
    std::unique_ptr<LinuxLightSources> sources;
    std::vector<std::pair<int, std::function<void()>>> estimateWatchers;
    int lastWatch = 0;
    std::optional<LightEstimateInUse> toldServiceClient, toldController;

    // Writes the sources' log lines, tells the estimate's watchers of a
    // change, and sends a message for a changed SMC value.
    void takeNews() {
        for (const auto& line : sources->takeNews())
            logLine(line);
        const auto serviceClient = sources->serviceClient().estimate;
        const auto controller = sources->controller().estimate;
        if (serviceClient != toldServiceClient || controller != toldController) {
            toldServiceClient = serviceClient;
            toldController = controller;
            auto watchers = estimateWatchers;  // a handler may watch or stop watching
            for (auto& [token, handler] : watchers)
                handler();
        }
        const unsigned changes = sources->controllerChanges();
        if (changes == deliveredChanges)
            return;
        deliveredChanges = changes;
        auto current = registrations;  // a handler may register more
        for (auto& r : current)
            if (r.interestType == kIOGeneralInterest)
                r.deliver(kIOMessageServicePropertyChange, nullptr);
    }
};

LinuxLightSensor::LinuxLightSensor() : main_(std::make_shared<MainSide>()) {
    std::weak_ptr<MainSide> weak = main_;
    // Called on the sources' thread: the main thread takes the news when it
    // next turns its loop (GLib's default context), in whatever mode.
    main_->sources = std::make_unique<LinuxLightSources>([weak] {
        g_main_context_invoke_full(
            g_main_context_default(), G_PRIORITY_DEFAULT,
            [](gpointer w) -> gboolean {
                if (auto side = static_cast<std::weak_ptr<MainSide>*>(w)->lock())
                    side->takeNews();
                return G_SOURCE_REMOVE;
            },
            new std::weak_ptr<MainSide>(weak),
            [](gpointer w) { delete static_cast<std::weak_ptr<MainSide>*>(w); });
    });
}

LinuxLightSensor::~LinuxLightSensor() = default;

// --- Service client ---

HeldServiceClient LinuxLightSensor::heldServiceClient(bool wait) {
    main_->sources->followServiceClient();
    if (wait)
        main_->sources->awaitServiceClient(kFirstReadingWait);
    main_->takeNews();
    return main_->sources->serviceClient();
}

bool LinuxLightSensor::hasServiceClient() {
    const bool wait = mayWait();
    const auto held = heldServiceClient(wait);
    if (held.inUse)
        return true;
    // Not waiting, before the sources have settled: what a listing tells,
    // or the place the sun's estimate will be made for.
    return !wait && !held.settled && (luxSensorListed() || machineZonePlace().place);
}

std::optional<double> LinuxLightSensor::copyAmbientLightReading() {
    const bool wait = mayWait();
    const auto held = heldServiceClient(wait);
    if (held.lux || wait)
        return held.lux;
    if (held.inUse || (!held.settled && luxSensorListed()))
        return held.lastGood;
    return std::nullopt;
}

std::vector<HardwareFinding> LinuxLightSensor::serviceClientFindings() {
    return main_->sources->serviceClient().findings;
}

// --- AppleLMUController ---

io_service_t LinuxLightSensor::lmuService() {
    return AppleSMCLight::present() ? kSMCLightService : 0;
}

kern_return_t LinuxLightSensor::openService(io_service_t service, std::uint32_t type,
                                            io_connect_t* connect) {
    if (service != kSMCLightService)
        return kIOReturnNotFound;
    if (type != 0)
        return kIOReturnBadArgument;
    auto& sources = *main_->sources;
    sources.followController();
    if (mayWait())
        sources.awaitController(kFirstSMCReadWait);
    main_->takeNews();
    const auto reason = sources.controllerFinding().reason;
    if (reason == FindingReason::PermissionDenied || reason == FindingReason::NotPresent) {
        logLine("Apple SMC light sensor cannot be opened: " + AppleSMCLight::attributePath());
        return reason == FindingReason::PermissionDenied ? kIOReturnNotPrivileged
                                                         : kIOReturnNoDevice;
    }
    smcOpened_ = true;
    *connect = kSMCLightConnection;
    return kIOReturnSuccess;
}

kern_return_t LinuxLightSensor::addInterestNotification(
    io_service_t service, const std::string& interestType,
    std::function<void(std::uint32_t, void*)> deliver) {
    if (service != kSMCLightService || !AppleSMCLight::present())
        return kIOReturnNotFound;
    main_->sources->followController();
    main_->takeNews();  // changes before the registration are not its messages
    main_->registrations.push_back({interestType, std::move(deliver)});
    return kIOReturnSuccess;
}

kern_return_t LinuxLightSensor::callScalarMethod(io_connect_t connect, std::uint32_t selector,
                                                 std::uint64_t* outputs,
                                                 std::uint32_t* outputCount) {
    if (!smcOpened_ || connect != kSMCLightConnection)
        return kIOReturnNotOpen;
    if (selector != 0)
        return kIOReturnUnsupported;
    if (*outputCount < 2)
        return kIOReturnBadArgument;
    const auto held = main_->sources->controller();
    if (!held.outputs)
        return kIOReturnNotReadable;
    outputs[0] = (*held.outputs)[0];
    outputs[1] = (*held.outputs)[1];
    *outputCount = 2;
    return kIOReturnSuccess;
}

HardwareFinding LinuxLightSensor::controllerFinding() {
    return main_->sources->controllerFinding();
}

// --- The sun's estimate ---

void LinuxLightSensor::setEstimateOptions(const LightEstimateOptions& options) {
    main_->sources->setEstimateOptions(options);
}

std::optional<LightEstimateInUse> LinuxLightSensor::serviceClientEstimate() {
    return main_->sources->serviceClient().estimate;
}

std::optional<LightEstimateInUse> LinuxLightSensor::controllerEstimate() {
    return main_->sources->controller().estimate;
}

int LinuxLightSensor::watchEstimate(std::function<void()> handler) {
    main_->estimateWatchers.emplace_back(++main_->lastWatch, std::move(handler));
    return main_->lastWatch;
}

void LinuxLightSensor::unwatchEstimate(int token) {
    std::erase_if(main_->estimateWatchers, [token](const auto& w) { return w.first == token; });
}

}  // namespace platform::linux_machine
