#include "IOKit/IONotificationPort.h"

#include <deque>
#include <string>

#include "IOKit/IOAVService.h"
#include "IOKit/IOKitInternal.h"
#include "IOKit/IOKitLib.h"
#include "machine/AVServiceBackend.h"
#include "machine/LightSensorBackend.h"
#include "machine/Machine.h"

struct IONotificationPort {
    CFRunLoopSourceRef source;
    std::deque<std::function<void()>> pending;

    // Hands every queued message to its handler, oldest first.
    void deliverPending() {
        while (!pending.empty()) {
            auto message = std::move(pending.front());
            pending.pop_front();
            message();
        }
    }
};

namespace platform::iokit {

void post(const IONotificationPortRef& port, std::function<void()> message) {
    port->pending.push_back(std::move(message));
    CFRunLoopSourceSignal(port->source);
    CFRunLoopWakeUp(CFRunLoopGetCurrent());
}

}  // namespace platform::iokit

IONotificationPortRef IONotificationPortCreate(mach_port_t mainPort) {
    auto& m = platform::Machine::current();
    m.recordCall("IONotificationPortCreate(" + std::to_string(mainPort) + ")");
    if (mainPort != kIOMainPortDefault && mainPort != kIOMasterPortDefault)
        return nullptr;
    if (!m.lightSensor().canCreateNotificationPort())
        return nullptr;
    auto port = std::make_shared<IONotificationPort>();
    std::weak_ptr<IONotificationPort> weak = port;
    port->source = CFRunLoopSourceCreate([weak] {
        if (auto p = weak.lock())
            p->deliverPending();
    });
    return port;
}

CFRunLoopSourceRef IONotificationPortGetRunLoopSource(const IONotificationPortRef& notify) {
    platform::Machine::current().recordCall("IONotificationPortGetRunLoopSource()");
    return notify ? notify->source : nullptr;
}

kern_return_t IOServiceAddInterestNotification(const IONotificationPortRef& notifyPort,
                                               io_service_t service, const char* interestType,
                                               IOServiceInterestCallback callback, void* refCon,
                                               io_object_t* notification) {
    auto& m = platform::Machine::current();
    std::string type = interestType ? interestType : "";
    m.recordCall("IOServiceAddInterestNotification(" + std::to_string(service) + ", " + type + ")");
    if (!notifyPort || !callback || !notification || !service)
        return kIOReturnBadArgument;
    std::weak_ptr<IONotificationPort> weak = notifyPort;
    kern_return_t kr = m.lightSensor().addInterestNotification(
        service, type,
        [weak, callback, refCon, service](std::uint32_t messageType, void* argument) {
            auto port = weak.lock();
            if (!port)
                return;  // the port is gone: nobody listens any more
            platform::iokit::post(port, [=] { callback(refCon, service, messageType, argument); });
        });
    if (kr != kIOReturnSuccess)
        return kr;
    // Registration handles live in their own range, away from services and iterators.
    static io_object_t nextHandle = 0x50000000;
    *notification = nextHandle++;
    return kIOReturnSuccess;
}

namespace {

// Hands the AV service back-end's arrivals or removals to one notification.
class MatchingNotification : public platform::AVServiceBackend::Listener {
  public:
    MatchingNotification(std::weak_ptr<IONotificationPort> port, bool arrivals,
                         IOServiceMatchingCallback callback, void* refCon, io_iterator_t iterator)
        : port_(std::move(port)),
          arrivals_(arrivals),
          callback_(callback),
          refCon_(refCon),
          iterator_(iterator) {}

    void servicesArrived(const std::vector<io_service_t>& services) override {
        if (arrivals_)
            tell(services);
    }
    void servicesRemoved(const std::vector<io_service_t>& services) override {
        if (!arrivals_)
            tell(services);
    }

  private:
    void tell(const std::vector<io_service_t>& services) {
        auto port = port_.lock();
        if (!port || services.empty())
            return;
        platform::iokit::appendToIterator(iterator_, services);
        platform::iokit::post(port, [callback = callback_, refCon = refCon_, iterator = iterator_] {
            callback(refCon, iterator);
        });
    }

    std::weak_ptr<IONotificationPort> port_;
    bool arrivals_;
    IOServiceMatchingCallback callback_;
    void* refCon_;
    io_iterator_t iterator_;
};

}  // namespace

kern_return_t IOServiceAddMatchingNotification(const IONotificationPortRef& notifyPort,
                                               const char* notificationType,
                                               CFMutableDictionaryRef matching,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* notification) {
    auto& m = platform::Machine::current();
    const std::string type = notificationType ? notificationType : "";
    std::string cls;
    if (matching) {
        auto it = matching->find("IOProviderClass");
        if (it != matching->end() && it->second.stringValue())
            cls = *it->second.stringValue();
    }
    m.recordCall("IOServiceAddMatchingNotification(" + type + ", " + cls + ")");
    const bool arrivals = type == kIOFirstMatchNotification;
    if (!notifyPort || !callback || !notification ||
        (!arrivals && type != kIOTerminatedNotification))
        return kIOReturnBadArgument;
    // Only the AV services come and go here; other classes never notify.
    const bool avServices = cls == kIOAVServiceClassName;
    std::vector<io_service_t> present;
    if (arrivals && avServices)
        present = m.avServices().services();
    const io_iterator_t iterator = platform::iokit::createIterator(std::move(present));
    if (avServices) {
        auto listener = std::make_shared<MatchingNotification>(notifyPort, arrivals, callback,
                                                               refCon, iterator);
        m.avServices().addListener(listener.get());
        platform::iokit::onRelease(iterator, [listener] {
            if (platform::Machine::isInstalled())
                platform::Machine::current().avServices().removeListener(listener.get());
        });
    }
    *notification = iterator;
    return kIOReturnSuccess;
}
