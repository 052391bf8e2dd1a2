// The USB monitor watcher: a HID manager that reports Apple USB monitors as
// they come and go, on the run loop of the thread that created the engine.
#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSLog.h"
#include "engine/AppleMonitorProducts.h"
#include "engine/BrightnessController.h"
#include "engine/DdcMonitors.h"

namespace {

void deviceMatched(void* context, IOReturn, void*, IOHIDDeviceRef device) {
    static_cast<BrightnessController*>(context)->displayAttached(device);
}

void deviceRemoved(void* context, IOReturn, void*, IOHIDDeviceRef device) {
    static_cast<BrightnessController*>(context)->displayDetached(device);
}

}  // namespace

void BrightnessController::setupExternalMonitorDeviceRef() {
    IOHIDManagerRef manager = IOHIDManagerCreate(kCFAllocatorDefault, kIOHIDOptionsTypeNone);
    if (!manager) {
        // Without a manager no monitor is ever found; nothing more to set up.
        NSLog("IOHIDManagerCreate returned nil");
        return;
    }
    watcher_ = manager;
    IOHIDManagerSetDeviceMatchingMultiple(manager, duolume::appleMonitorMatchingList());
    IOHIDManagerRegisterDeviceMatchingCallback(manager, deviceMatched, this);
    IOHIDManagerRegisterDeviceRemovalCallback(manager, deviceRemoved, this);
    IOHIDManagerScheduleWithRunLoop(manager, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    IOReturn status = IOHIDManagerOpen(manager, kIOHIDOptionsTypeNone);
    if (status != kIOReturnSuccess)
        NSLog("IOHIDManagerOpen error 0x%x", status);
}

void BrightnessController::displayAttached(IOHIDDeviceRef device) {
    const auto field = duolume::monitorBrightnessField(device);
    if (!field) {
        // Another interface of a newer display (its camera, its buttons).
        NSLog("%s", duolume::describeInterfaceNotAttached(device).c_str());
        return;
    }
    // Added first, so the sync request already drives the new monitor.
    monitorFields_[device] = *field;
    NSLog("%s", duolume::describeMonitorAttach(device, *field).c_str());
    externalMonitorDeviceRefs.insert(device);
    if (lightSensorsTakenOver_)
        switchMonitorLightSensor(device, true);
    monitorJoined();
}

void BrightnessController::monitorJoined() {
    if (attachHandler_)
        attachHandler_();
    else
        updateDisplayBrightness(true);
}

void BrightnessController::displayDetached(IOHIDDeviceRef device) {
    externalMonitorDeviceRefs.erase(device);
    monitorFields_.erase(device);
    monitorWrites_.erase(device);
    sensorsSwitchedOff_.erase(device);
}

BrightnessController::~BrightnessController() {
    // The manager outlives this engine; it must not call into it any more.
    if (watcher_) {
        IOHIDManagerRegisterDeviceMatchingCallback(watcher_, nullptr, nullptr);
        IOHIDManagerRegisterDeviceRemovalCallback(watcher_, nullptr, nullptr);
    }
}
