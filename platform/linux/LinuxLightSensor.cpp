#include "linux/LinuxLightSensor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "CoreFoundation/CFRunLoop.h"
#include "IOKit/IONotificationPort.h"
#include "Machine.h"
#include "linux/IIOLightSensor.h"
#include "linux/SMCLightScale.h"

namespace platform::linux_machine {
namespace {

constexpr io_service_t kSMCLightService = 0x534d4331;
constexpr io_connect_t kSMCLightConnection = 0x534d4332;
constexpr CFTimeInterval kSMCPollInterval = 1.0;

void logLine(const std::string& line) {
    if (Machine::isInstalled())
        Machine::current().writeLog(line);
}

}  // namespace

// Polls the SMC attribute and sends a message to every general-interest
// registration when its value changes. Unreadable or garbled reads are
// skipped, so a value that comes back unchanged sends nothing.
struct LinuxLightSensor::SMCWatch {
    struct Registration {
        std::string interestType;
        std::function<void(std::uint32_t, void*)> deliver;
    };
    std::vector<Registration> registrations;
    std::optional<SMCLightValues> last = AppleSMCLight::read();
    bool unreadable = false;
    CFRunLoopTimerRef timer;

    void poll() {
        auto now = AppleSMCLight::read();
        if (!now) {
            if (!unreadable)
                logLine("Apple SMC light sensor unreadable: " + AppleSMCLight::attributePath());
            unreadable = true;
            return;
        }
        unreadable = false;
        if (last && *now == *last)
            return;
        last = now;
        auto current = registrations;
        for (auto& r : current)
            if (r.interestType == kIOGeneralInterest)
                r.deliver(kIOMessageServicePropertyChange, nullptr);
    }
};

LinuxLightSensor::LinuxLightSensor() = default;

LinuxLightSensor::~LinuxLightSensor() {
    if (smcWatch_ && smcWatch_->timer)
        CFRunLoopTimerInvalidate(smcWatch_->timer);
}

// --- Service client ---

LinuxLightSensor::Source LinuxLightSensor::currentSource() {
    auto proxied = proxy_.read();
    if (proxied.status == SensorProxyClient::Status::Reading) {
        // A claimed service that has not yet announced a reading answers a
        // stale value: the IIO files it reads itself give the real one.
        if (!proxied.announced) {
            if (auto device = IIOLightSensor::findDevice())
                return {IIOLightSensor::describe(*device), IIOLightSensor::readLux(*device)};
        }
        return {"iio-sensor-proxy (net.hadess.SensorProxy)", proxied.lux};
    }
    // Not there, no light sensor, or not in lux: the IIO files give lux.
    if (auto device = IIOLightSensor::findDevice())
        return {IIOLightSensor::describe(*device), IIOLightSensor::readLux(*device)};
    return {};
}

void LinuxLightSensor::noteSource(const Source& source) {
    if (source.name != lastSourceName_) {
        logLine(source.name.empty() ? std::string("Ambient light sensor: none found")
                                    : "Ambient light sensor: reading " + source.name);
        lastSourceName_ = source.name;
        lastReadGarbled_ = false;
    }
    bool garbled = !source.name.empty() && !source.lux;
    if (garbled && !lastReadGarbled_)
        logLine("Ambient light sensor: unreadable or garbled value from " + source.name);
    lastReadGarbled_ = garbled;
}

bool LinuxLightSensor::hasServiceClient() {
    auto source = currentSource();
    noteSource(source);
    return !source.name.empty();
}

std::optional<double> LinuxLightSensor::copyAmbientLightReading() {
    auto source = currentSource();
    noteSource(source);
    return source.lux;
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
    int fd = ::open(AppleSMCLight::attributePath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        logLine("Apple SMC light sensor cannot be opened: " + AppleSMCLight::attributePath());
        return errno == EACCES || errno == EPERM ? kIOReturnNotPrivileged : kIOReturnNoDevice;
    }
    ::close(fd);
    smcOpened_ = true;
    *connect = kSMCLightConnection;
    return kIOReturnSuccess;
}

kern_return_t LinuxLightSensor::addInterestNotification(
    io_service_t service, const std::string& interestType,
    std::function<void(std::uint32_t, void*)> deliver) {
    if (service != kSMCLightService || !AppleSMCLight::present())
        return kIOReturnNotFound;
    if (!smcWatch_) {
        smcWatch_ = std::make_shared<SMCWatch>();
        std::weak_ptr<SMCWatch> weak = smcWatch_;
        // Common modes: changes are noticed in any mode; the notification
        // port's source decides when they are handled.
        smcWatch_->timer = CFRunLoopTimerCreateWithHandler(
            kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + kSMCPollInterval, kSMCPollInterval, 0,
            0, [weak](CFRunLoopTimerRef) {
                if (auto watch = weak.lock())
                    watch->poll();
            });
        CFRunLoopAddTimer(CFRunLoopGetCurrent(), smcWatch_->timer, kCFRunLoopCommonModes);
    }
    smcWatch_->registrations.push_back({interestType, std::move(deliver)});
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
    auto values = AppleSMCLight::read();
    if (!values)
        return kIOReturnNotReadable;
    smcPairSeen_ = smcPairSeen_ || values->right != 0;
    controllerValuesForSMCLight(*values, smcPairSeen_, outputs);
    *outputCount = 2;
    return kIOReturnSuccess;
}

}  // namespace platform::linux_machine
