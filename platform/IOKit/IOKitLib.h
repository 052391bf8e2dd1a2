// IOKit service look-up: matching descriptions, iterators, handles.
//
// Services are provided by the machine's back-ends by class name:
// "IODisplayConnect" by the display back-end, "AppleLMUController" by the
// light sensor back-end, "DCPAVServiceProxy" by the AV service back-end.
// Iterators live here.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/CFBase.h"
#include "base/IOKitTypes.h"
#include "base/PropertyList.h"

// The default main port. The two names are distinct values here so that the
// simulated machine can tell which one a caller chose; both mean the same port.
extern const mach_port_t kIOMainPortDefault;
extern const mach_port_t kIOMasterPortDefault;

mach_port_t mach_task_self();

// A matching description: a dictionary with "IOProviderClass".
using CFMutableDictionaryRef = std::shared_ptr<PlistDictionary>;

CFMutableDictionaryRef IOServiceMatching(const char* name);
// Takes ownership of `matching` (it is consumed whatever the result).
kern_return_t IOServiceGetMatchingServices(mach_port_t mainPort, CFMutableDictionaryRef matching,
                                           io_iterator_t* existing);
io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFMutableDictionaryRef matching);
io_object_t IOIteratorNext(io_iterator_t iterator);
// Releasing a notification's iterator (IONotificationPort.h) ends the notification.
kern_return_t IOObjectRelease(io_object_t object);
// A copy of the entry's property `key`; absent when the entry has none.
std::optional<PlistValue> IORegistryEntryCreateCFProperty(io_registry_entry_t entry,
                                                          const std::string& key,
                                                          CFAllocatorRef allocator,
                                                          IOOptionBits options);
