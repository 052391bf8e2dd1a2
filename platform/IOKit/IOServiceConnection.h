// Connections to an I/O service's user client: opening one and calling its
// scalar methods.
#pragma once

#include <cstdint>

#include "base/IOKitTypes.h"

// Opens a connection of `type` to `service` for `owningTask`; on success the
// handle is stored in `connect`.
kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, std::uint32_t type,
                            io_connect_t* connect);
// Calls method `selector` of the connection with `inputCount` scalar inputs.
// `outputCount` holds the room in `output` on entry and the number of outputs
// on return.
kern_return_t IOConnectCallScalarMethod(io_connect_t connection, std::uint32_t selector,
                                        const std::uint64_t* input, std::uint32_t inputCount,
                                        std::uint64_t* output, std::uint32_t* outputCount);
