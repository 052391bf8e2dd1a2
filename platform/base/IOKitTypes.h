// IOKit's handle and status types.
#pragma once

#include <cstdint>

using kern_return_t = int;
using IOReturn = kern_return_t;
using mach_port_t = std::uint32_t;
using io_object_t = std::uint32_t;
using io_service_t = io_object_t;
using io_registry_entry_t = io_object_t;
using io_iterator_t = io_object_t;
using io_connect_t = io_object_t;
using task_port_t = mach_port_t;
using IOOptionBits = std::uint32_t;

inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnError = static_cast<IOReturn>(0xe00002bc);
inline constexpr IOReturn kIOReturnNoMemory = static_cast<IOReturn>(0xe00002bd);
inline constexpr IOReturn kIOReturnNoResources = static_cast<IOReturn>(0xe00002be);
inline constexpr IOReturn kIOReturnNoDevice = static_cast<IOReturn>(0xe00002c0);
inline constexpr IOReturn kIOReturnNotPrivileged = static_cast<IOReturn>(0xe00002c1);
inline constexpr IOReturn kIOReturnBadArgument = static_cast<IOReturn>(0xe00002c2);
inline constexpr IOReturn kIOReturnUnsupported = static_cast<IOReturn>(0xe00002c7);
inline constexpr IOReturn kIOReturnIOError = static_cast<IOReturn>(0xe00002ca);
inline constexpr IOReturn kIOReturnNotOpen = static_cast<IOReturn>(0xe00002cd);
inline constexpr IOReturn kIOReturnNotReadable = static_cast<IOReturn>(0xe00002ce);
inline constexpr IOReturn kIOReturnBusy = static_cast<IOReturn>(0xe00002d5);
inline constexpr IOReturn kIOReturnTimeout = static_cast<IOReturn>(0xe00002d6);
inline constexpr IOReturn kIOReturnNotReady = static_cast<IOReturn>(0xe00002d8);
inline constexpr IOReturn kIOReturnNotAttached = static_cast<IOReturn>(0xe00002d9);
inline constexpr IOReturn kIOReturnNotPermitted = static_cast<IOReturn>(0xe00002e2);
inline constexpr IOReturn kIOReturnNotResponding = static_cast<IOReturn>(0xe00002ed);
inline constexpr IOReturn kIOReturnNotFound = static_cast<IOReturn>(0xe00002f0);
