#include "engine/DdcMonitors.h"

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSLog.h"
#include "IOKit/IOAVService.h"
#include "IOKit/IOKitLib.h"
#include "dispatch/DispatchQueue.h"
#include "engine/AppleMonitorProducts.h"
#include "engine/DisplayEdid.h"
#include "formats/Edid.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace duolume {

bool ddcMonitorsWanted(const std::optional<NSDictionary>& settings) {
    return !settingsBool(settings, kDdcMonitorsDisabledKey);
}

DdcMonitors::DdcMonitors(std::function<void()> attached)
    : attached_(std::move(attached)), self_(std::make_shared<DdcMonitors*>(this)) {
    port_ = IONotificationPortCreate(kIOMainPortDefault);
    if (!port_) {
        NSLog("IONotificationPortCreate returned nil; monitors are not driven over DDC/CI");
        return;
    }
    CFRunLoopAddSource(CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource(port_),
                       kCFRunLoopDefaultMode);
    kern_return_t kr = IOServiceAddMatchingNotification(port_, kIOFirstMatchNotification,
                                                        IOServiceMatching(kIOAVServiceClassName),
                                                        servicesMatched, this, &arrivals_);
    if (kr != KERN_SUCCESS)
        NSLog("IOServiceAddMatchingNotification error 0x%x", kr);
    kr = IOServiceAddMatchingNotification(port_, kIOTerminatedNotification,
                                          IOServiceMatching(kIOAVServiceClassName),
                                          servicesTerminated, this, &removals_);
    if (kr != KERN_SUCCESS)
        NSLog("IOServiceAddMatchingNotification error 0x%x", kr);
    // Emptying the iterators arms the notifications; the displays present
    // now are the first ones found.
    servicesMatched(this, arrivals_);
    servicesTerminated(this, removals_);
    watching_ = true;
}

DdcMonitors::~DdcMonitors() {
    if (arrivals_)
        IOObjectRelease(arrivals_);
    if (removals_)
        IOObjectRelease(removals_);
}

void DdcMonitors::servicesMatched(void* refcon, io_iterator_t iterator) {
    auto* self = static_cast<DdcMonitors*>(refcon);
    while (io_service_t service = IOIteratorNext(iterator))
        self->found(service, self->watching_);
}

void DdcMonitors::servicesTerminated(void* refcon, io_iterator_t iterator) {
    auto* self = static_cast<DdcMonitors*>(refcon);
    bool gone = false;
    // Its monitor goes with it, and with that its queue and what waits there.
    while (io_service_t service = IOIteratorNext(iterator))
        gone = self->entries_.erase(service) > 0 || gone;
    if (gone && self->changed_)
        self->changed_();
}

void DdcMonitors::found(io_service_t service, bool newlyAdded) {
    const auto location =
        IORegistryEntryCreateCFProperty(service, kIOAVServiceLocationKey, kCFAllocatorDefault, 0);
    if (!location || !location->stringValue() ||
        *location->stringValue() != kIOAVServiceLocationExternal)
        return;  // the built-in panel has its own road
    IOAVServiceRef av = IOAVServiceCreateWithService(kCFAllocatorDefault, service);
    std::vector<std::uint8_t> edid;
    if (!av || IOAVServiceCopyEDID(av, &edid) != kIOReturnSuccess)
        edid.clear();
    Entry& entry = entries_[service];
    entry.name = describeDisplay(edid);
    if (isAppleDisplay(edid)) {
        entry.state = State::Apple;
        NSLog("Monitor %s is an Apple display: never sent DDC/CI", entry.name.c_str());
        return;
    }
    if (platform::edidManufacturer(edid).empty()) {
        // Without an EDID it could be an Apple display as well.
        entry.state = State::NoEdid;
        NSLog("A monitor without a readable EDID is not sent DDC/CI; left alone");
        return;
    }
    entry.monitor = DdcMonitor::create(std::move(av), entry.name);
    entry.newlyAdded = newlyAdded;
    if (driven_)
        ask(service, entry);
    if (changed_)
        changed_();
}

void DdcMonitors::ask(io_service_t service, Entry& entry) {
    entry.state = State::Asking;
    std::weak_ptr<DdcMonitors*> self = self_;
    auto monitor = entry.monitor;
    monitor->probe(entry.newlyAdded, [self, service, monitor](const DdcMonitor::Answer& answer) {
        if (auto alive = self.lock())
            (*alive)->answered(service, monitor, answer);
    });
    entry.newlyAdded = false;
}

void DdcMonitors::answered(io_service_t service, const std::shared_ptr<DdcMonitor>& monitor,
                           const DdcMonitor::Answer& answer) {
    auto it = entries_.find(service);
    if (it == entries_.end() || it->second.monitor != monitor)
        return;  // unplugged meanwhile
    if (answer.asleep) {
        if (it->second.state != State::Asleep)
            NSLog("Monitor %s: its output is off or asleep; asked once it is lit",
                  monitor->name().c_str());
        it->second.state = State::Asleep;
        std::weak_ptr<DdcMonitors*> self = self_;
        monitor->whenAwake([self, service, monitor] {
            auto alive = self.lock();
            if (!alive)
                return;
            auto again = (*alive)->entries_.find(service);
            if (again != (*alive)->entries_.end() && again->second.monitor == monitor &&
                again->second.state == State::Asleep && (*alive)->driven_)
                (*alive)->ask(service, again->second);
        });
        if (changed_)
            changed_();
        return;
    }
    if (!answer.value) {
        it->second.state = State::Silent;
        it->second.monitor.reset();  // nothing more is sent until it is plugged in again
        const std::string bus = monitor->bus();
        NSLog("Monitor %s does not answer DDC/CI; left alone (%s%s)", monitor->name().c_str(),
              answer.why.c_str(), bus.empty() ? "" : ("; " + bus).c_str());
        if (changed_)
            changed_();
        return;
    }
    it->second.state = State::Attached;
    NSLog("DDC/CI monitor %s attached: brightness %u of %u", monitor->name().c_str(),
          static_cast<unsigned>(answer.value->current),
          static_cast<unsigned>(answer.value->maximum));
    if (sensorsTakenOver_)
        monitor->switchOffLightSensor();
    if (changed_)
        changed_();
    if (driven_ && attached_)
        attached_();
}

std::optional<double> DdcMonitors::changedByOthers() {
    std::optional<double> changed;
    for (auto& [service, entry] : entries_) {
        if (entry.state == State::Attached && entry.monitor)
            if (auto value = entry.monitor->changedByOthers())
                changed = value;
    }
    return changed;
}

void DdcMonitors::takeOverLightSensors(bool takenOver) {
    if (takenOver == sensorsTakenOver_)
        return;
    sensorsTakenOver_ = takenOver;
    for (auto& [service, entry] : entries_) {
        if (entry.state != State::Attached || !entry.monitor)
            continue;
        if (takenOver)
            entry.monitor->switchOffLightSensor();
        else
            entry.monitor->restoreLightSensor();
    }
}

void DdcMonitors::close() {
    for (auto& [service, entry] : entries_)
        if (entry.monitor)
            entry.monitor->close();
}

void DdcMonitors::afterPendingExchanges(std::function<void()> done) {
    std::vector<std::shared_ptr<DdcMonitor>> monitors;
    for (auto& [service, entry] : entries_)
        if (entry.monitor)
            monitors.push_back(entry.monitor);
    if (monitors.empty()) {
        dispatch_async(dispatch_get_main_queue(), std::move(done));
        return;
    }
    auto left = std::make_shared<std::size_t>(monitors.size());
    for (auto& monitor : monitors)
        monitor->afterPending([left, done] {
            if (--*left == 0)
                done();
        });
}

void DdcMonitors::setDriven(bool driven) {
    if (driven == driven_)
        return;
    driven_ = driven;
    if (!driven)
        return;
    for (auto& [service, entry] : entries_) {
        if (entry.state == State::Found || entry.state == State::Asleep)
            ask(service, entry);
    }
}

bool DdcMonitors::anyAttached() const {
    if (!driven_)
        return false;
    for (const auto& [service, entry] : entries_) {
        if (entry.state == State::Attached)
            return true;
    }
    return false;
}

std::vector<DdcMonitors::Display> DdcMonitors::displays() const {
    std::vector<Display> all;
    for (const auto& [service, entry] : entries_)
        all.push_back({entry.name, entry.state});
    return all;
}

void DdcMonitors::setBrightness(double brightness) {
    if (!driven_)
        return;
    for (auto& [service, entry] : entries_) {
        if (entry.state == State::Attached)
            entry.monitor->request(brightness);
    }
}

std::optional<double> DdcMonitors::brightness() {
    std::optional<double> last;
    if (!driven_)
        return last;
    for (auto& [service, entry] : entries_) {
        if (entry.state != State::Attached)
            continue;
        if (auto value = entry.monitor->brightness())
            last = value;
    }
    return last;
}

}  // namespace duolume
