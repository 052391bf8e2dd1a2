// What the IOKit stand-ins share among themselves: iterator handles and the
// notification ports' queues. Not for the product.
#pragma once

#include <functional>
#include <vector>

#include "IOKit/IONotificationPort.h"
#include "base/IOKitTypes.h"

namespace platform::iokit {

// A new iterator handle over `services`.
io_iterator_t createIterator(std::vector<io_service_t> services);
// Adds services to what an iterator has yet to hand out.
void appendToIterator(io_iterator_t iterator, const std::vector<io_service_t>& services);
// Runs `released` when `object` is released (once).
void onRelease(io_object_t object, std::function<void()> released);
// Queues `message` on the port; its run-loop source hands it over.
void post(const IONotificationPortRef& port, std::function<void()> message);

}  // namespace platform::iokit
