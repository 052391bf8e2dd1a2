#include "IOKit/IOServiceConnection.h"

#include "IOKit/IOKitLib.h"
#include "machine/LightSensorBackend.h"
#include "machine/Machine.h"

kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, std::uint32_t type,
                            io_connect_t* connect) {
    auto& m = platform::Machine::current();
    m.recordCall("IOServiceOpen(" + std::to_string(service) + ", " + std::to_string(owningTask) +
                 ", " + std::to_string(type) + ")");
    if (!connect || owningTask != mach_task_self())
        return kIOReturnBadArgument;
    // The light sensor's controller is the only service with a user client.
    if (!service || service != m.lightSensor().lmuService())
        return kIOReturnUnsupported;
    return m.lightSensor().openService(service, type, connect);
}

kern_return_t IOConnectCallScalarMethod(io_connect_t connection, std::uint32_t selector,
                                        const std::uint64_t* input, std::uint32_t inputCount,
                                        std::uint64_t* output, std::uint32_t* outputCount) {
    auto& m = platform::Machine::current();
    m.recordCall("IOConnectCallScalarMethod(" + std::to_string(connection) + ", " +
                 std::to_string(selector) + ", " + std::to_string(inputCount) + ", " +
                 std::to_string(outputCount ? *outputCount : 0) + ")");
    if (inputCount > 0 && !input)
        return kIOReturnBadArgument;
    if (!output || !outputCount)
        return kIOReturnBadArgument;
    // The controller's methods take no inputs.
    if (inputCount != 0)
        return kIOReturnBadArgument;
    return m.lightSensor().callScalarMethod(connection, selector, output, outputCount);
}
