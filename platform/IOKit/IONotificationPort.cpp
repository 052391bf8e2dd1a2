#include "IOKit/IONotificationPort.h"

#include <deque>
#include <string>

#include "IOKit/IOKitLib.h"
#include "IOKit/LightSensorBackend.h"
#include "Machine.h"

struct IONotificationPort {
    struct Message {
        IOServiceInterestCallback callback;
        void* refCon;
        io_service_t service;
        natural_t type;
        void* argument;
    };
    CFRunLoopSourceRef source;
    std::deque<Message> pending;

    // Hands every queued message to its handler, oldest first.
    void deliverPending() {
        while (!pending.empty()) {
            Message msg = pending.front();
            pending.pop_front();
            msg.callback(msg.refCon, msg.service, msg.type, msg.argument);
        }
    }
};

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
            port->pending.push_back({callback, refCon, service, messageType, argument});
            CFRunLoopSourceSignal(port->source);
            CFRunLoopWakeUp(CFRunLoopGetCurrent());
        });
    if (kr != kIOReturnSuccess)
        return kr;
    // Registration handles live in their own range, away from services and iterators.
    static io_object_t nextHandle = 0x50000000;
    *notification = nextHandle++;
    return kIOReturnSuccess;
}
