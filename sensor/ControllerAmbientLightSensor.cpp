#include "sensor/ControllerAmbientLightSensor.h"

#include <cmath>
#include <cstdint>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSLog.h"
#include "IOKit/IOKitLib.h"
#include "IOKit/IOServiceConnection.h"

namespace {

constexpr const char* kControllerClass = "AppleLMUController";
constexpr std::uint64_t kInvalidSensorValue = 0xFFFFFFFF;

// Releases the service handle however set-up ends.
struct ServiceHandle {
    io_service_t service;
    ~ServiceHandle() {
        if (service)
            IOObjectRelease(service);
    }
};

}  // namespace

void ControllerAmbientLightSensor::setupAmbientLightSensor() {
    ServiceHandle handle{
        IOServiceGetMatchingService(kIOMasterPortDefault, IOServiceMatching(kControllerClass))};
    if (!handle.service) {
        NSLog("IOServiceGetMatchingService() failed to get I/O service \"%s\"", kControllerClass);
        return;
    }
    kern_return_t kr = IOServiceOpen(handle.service, mach_task_self(), 0, &connect);
    if (kr != KERN_SUCCESS || connect == 0) {
        connect = 0;  // a failed open leaves nothing to read from
        NSLog("IOServiceOpen() failed to open I/O service \"%s\"", kControllerClass);
        return;
    }
    notificationPort = IONotificationPortCreate(kIOMasterPortDefault);
    if (!notificationPort) {
        NSLog("IONotificationPortCreate() failed to create I/O notification port");
        return;
    }
    kr = IOServiceAddInterestNotification(notificationPort, handle.service, kIOGeneralInterest,
                                          interestMessage, this, &notification);
    if (kr != KERN_SUCCESS) {
        NSLog("IOServiceAddInterestNotification() failed to add I/O service notification");
        return;
    }
    CFRunLoopAddSource(CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource(notificationPort),
                       kCFRunLoopDefaultMode);
}

void ControllerAmbientLightSensor::interestMessage(void* refCon, io_service_t, natural_t, void*) {
    // Every message announces the level as it is now, failure markers included.
    static_cast<ControllerAmbientLightSensor*>(refCon)->postLevel();
}

double ControllerAmbientLightSensor::getCurrentAmbientLight() {
    std::uint64_t values[2] = {0, 0};
    std::uint32_t count = 2;
    if (IOConnectCallScalarMethod(connect, 0, nullptr, 0, values, &count) != KERN_SUCCESS)
        return -1.0;
    if (values[0] == kInvalidSensorValue)
        return -2.0;
    double average = static_cast<double>(values[0] + values[1]) * 0.5 + 1.0;
    double level = std::pow(average, 2.0 / 15.0) - 1.0;
    return level < 10.0 ? level : 10.0;
}
