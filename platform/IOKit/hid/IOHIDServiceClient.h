// HID service clients and their events: the ambient light sensor's client
// hands out events of type 12 whose level field holds the raw reading.
#pragma once

#include <cstdint>
#include <memory>

struct __IOHIDServiceClient;
struct __IOHIDEvent;
// Owned references; releasing is the shared pointer's job.
using IOHIDServiceClientRef = std::shared_ptr<__IOHIDServiceClient>;
using IOHIDEventRef = std::shared_ptr<__IOHIDEvent>;

using IOHIDEventType = std::int64_t;
using IOHIDEventField = std::uint32_t;

inline constexpr IOHIDEventType kIOHIDEventTypeAmbientLightSensor = 12;
// The first field of an ambient light sensor event: its level.
inline constexpr IOHIDEventField kIOHIDEventFieldAmbientLightSensorLevel = 0xC0000;

// A new event holding the client's current state for `type`, or null when the
// client has none to give.
IOHIDEventRef IOHIDServiceClientCopyEvent(const IOHIDServiceClientRef& client, IOHIDEventType type,
                                          std::int32_t options, std::int64_t timestamp);
// The event's value of `field` as a double; 0.0 for a field the event does not have.
double IOHIDEventGetFloatValue(const IOHIDEventRef& event, IOHIDEventField field);

// What an event and a client are; the forwarders create them.
struct __IOHIDEvent {
    IOHIDEventType type = 0;
    double level = 0.0;
};
struct __IOHIDServiceClient {
    int unused = 0;
};
