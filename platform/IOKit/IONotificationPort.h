// Notification ports, interest notifications and matching notifications: a
// service's messages, and the arrival and removal of services, are queued on
// the port and handed to their handlers by the port's run-loop source, so
// they arrive only while the run loop runs in a mode the source was added for.
#pragma once

#include <cstdint>
#include <memory>

#include "CoreFoundation/CFRunLoop.h"
#include "IOKit/IOKitLib.h"
#include "base/IOKitTypes.h"

using natural_t = std::uint32_t;

struct IONotificationPort;
using IONotificationPortRef = std::shared_ptr<IONotificationPort>;

inline constexpr const char* kIOGeneralInterest = "IOGeneralInterest";
// The message a service sends when one of its properties (a sensor value) changed.
inline constexpr natural_t kIOMessageServicePropertyChange = 0xe0000130;

using IOServiceInterestCallback = void (*)(void* refcon, io_service_t service,
                                           natural_t messageType, void* messageArgument);

// A new notification port on `mainPort`, or null when none can be created.
IONotificationPortRef IONotificationPortCreate(mach_port_t mainPort);
// The port's run-loop source (the same source at every call).
CFRunLoopSourceRef IONotificationPortGetRunLoopSource(const IONotificationPortRef& notify);
// Calls `callback` with `refCon` for every message of `interestType` that
// `service` sends, through `notifyPort`. The registration's handle goes to
// `notification`.
kern_return_t IOServiceAddInterestNotification(const IONotificationPortRef& notifyPort,
                                               io_service_t service, const char* interestType,
                                               IOServiceInterestCallback callback, void* refCon,
                                               io_object_t* notification);

// Matching notifications: services of the matching description's class that
// appear (first match) or go away (terminated).
inline constexpr const char* kIOFirstMatchNotification = "IOServiceFirstMatch";
inline constexpr const char* kIOTerminatedNotification = "IOServiceTerminate";

using IOServiceMatchingCallback = void (*)(void* refcon, io_iterator_t iterator);

// Calls `callback` with `refCon` and the iterator stored in `notification`
// whenever services matching `matching` (which is consumed) appear or go
// away. For first match the iterator already holds the services present now;
// each call finds the new ones in it. Releasing the iterator
// (IOObjectRelease) ends the notification.
kern_return_t IOServiceAddMatchingNotification(const IONotificationPortRef& notifyPort,
                                               const char* notificationType,
                                               CFMutableDictionaryRef matching,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* notification);
