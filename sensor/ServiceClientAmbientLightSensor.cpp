#include "sensor/ServiceClientAmbientLightSensor.h"

#include <cmath>

#include "BezelServices/BezelServices.h"
#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSLog.h"

namespace {

constexpr CFTimeInterval kPollInterval = 1.0;

// The raw reading of a fresh ambient light event; false when there is no event.
bool copyReading(const IOHIDServiceClientRef& client, double* reading) {
    IOHIDEventRef event =
        IOHIDServiceClientCopyEvent(client, kIOHIDEventTypeAmbientLightSensor, 0, 0);
    if (!event)
        return false;
    *reading = IOHIDEventGetFloatValue(event, kIOHIDEventFieldAmbientLightSensorLevel);
    return true;  // the event is released here
}

}  // namespace

void ServiceClientAmbientLightSensor::setupAmbientLightSensor() {
    client = ALCALSCopyALSServiceClient();
    if (!client) {
        NSLog("ALCALSCopyALSServiceClient() failed to get the client");
        return;
    }
    // The reading at set-up is the baseline; it is not announced.
    if (!copyReading(client, &ambientLight)) {
        NSLog("IOHIDServiceClientCopyEvent() failed to get kAmbientLightSensorEvent");
        return;
    }
    hasReading = true;
    // The handler keeps the sensor alive; only the run loop holds the timer.
    auto self = std::static_pointer_cast<ServiceClientAmbientLightSensor>(shared_from_this());
    CFRunLoopTimerRef timer = CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + kPollInterval, kPollInterval, 0, 0,
        [self](CFRunLoopTimerRef) { self->updateTimerCallBack(); });
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
}

void ServiceClientAmbientLightSensor::updateTimerCallBack() {
    double reading = 0.0;
    if (!copyReading(client, &reading)) {
        NSLog("updateTimerCallBack got a nil IOHIdEventRef");
        return;
    }
    // Exact comparison of raw readings: a NaN reading differs from everything.
    if (reading == ambientLight)
        return;
    ambientLight = reading;
    postLevel();
}

double ServiceClientAmbientLightSensor::getCurrentAmbientLight() {
    if (!hasReading)
        return -1.0;  // no light known: not darkness
    double level = std::log(ambientLight + 1.0);
    return level < 10.0 ? level : 10.0;
}
