// The HID manager: finds the HID devices that match its dictionaries and
// reports their arrival and removal through callbacks on a run loop.
//
// Devices already present when the manager is opened are reported through the
// matching callback like later arrivals. Callbacks run only from the run loop
// the manager is scheduled on, in the mode it was scheduled for, so they never
// interrupt the code that is running.
#pragma once

#include <string>
#include <vector>

#include "CoreFoundation/CFRunLoop.h"
#include "IOKit/hid/IOHIDDevice.h"
#include "base/CFBase.h"
#include "base/PropertyList.h"

struct __IOHIDManager;
// A manager lives until the process ends.
using IOHIDManagerRef = __IOHIDManager*;

inline constexpr IOOptionBits kIOHIDOptionsTypeNone = 0;
inline constexpr IOOptionBits kIOHIDOptionsTypeSeizeDevice = 1;
inline constexpr IOOptionBits kIOHIDManagerOptionNone = 0;

// Null when no HID manager can be created on this machine.
IOHIDManagerRef IOHIDManagerCreate(CFAllocatorRef allocator, IOOptionBits options);
// A device matches when it matches any one dictionary: every key of that
// dictionary names a property the device has, with an equal value. Before the
// first call every device matches.
void IOHIDManagerSetDeviceMatchingMultiple(IOHIDManagerRef manager, const NSArray& multiple);
// A null callback stops the reports of that kind.
void IOHIDManagerRegisterDeviceMatchingCallback(IOHIDManagerRef manager,
                                                IOHIDDeviceCallback callback, void* context);
void IOHIDManagerRegisterDeviceRemovalCallback(IOHIDManagerRef manager,
                                               IOHIDDeviceCallback callback, void* context);
void IOHIDManagerScheduleWithRunLoop(IOHIDManagerRef manager, CFRunLoopRef runLoop,
                                     const CFRunLoopMode& runLoopMode);
// Starts watching the machine's devices. 0 on success.
IOReturn IOHIDManagerOpen(IOHIDManagerRef manager, IOOptionBits options);

// The matching devices the opened manager knows now (callbacks delivered or
// not), in the order they came.
std::vector<IOHIDDeviceRef> IOHIDManagerCopyDevices(IOHIDManagerRef manager);
