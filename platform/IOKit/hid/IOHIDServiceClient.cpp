#include "IOKit/hid/IOHIDServiceClient.h"

#include <cstdio>
#include <string>

#include "machine/LightSensorBackend.h"
#include "machine/Machine.h"

IOHIDEventRef IOHIDServiceClientCopyEvent(const IOHIDServiceClientRef& client, IOHIDEventType type,
                                          std::int32_t options, std::int64_t timestamp) {
    auto& m = platform::Machine::current();
    m.recordCall("IOHIDServiceClientCopyEvent(" + std::to_string(type) + ", " +
                 std::to_string(options) + ", " + std::to_string(timestamp) + ")");
    // The ambient light sensor's client is the only service client there is.
    if (!client || type != kIOHIDEventTypeAmbientLightSensor)
        return nullptr;
    auto reading = m.lightSensor().copyAmbientLightReading();
    if (!reading)
        return nullptr;
    auto event = std::make_shared<__IOHIDEvent>();
    event->type = type;
    event->level = *reading;
    return event;
}

double IOHIDEventGetFloatValue(const IOHIDEventRef& event, IOHIDEventField field) {
    char args[32];
    std::snprintf(args, sizeof args, "(0x%x)", field);
    platform::Machine::current().recordCall(std::string("IOHIDEventGetFloatValue") + args);
    if (!event)
        return 0.0;
    // A field belongs to the event type in its upper 16 bits.
    if (static_cast<IOHIDEventType>(field >> 16) != event->type)
        return 0.0;
    if (field == kIOHIDEventFieldAmbientLightSensorLevel)
        return event->level;
    return 0.0;
}
