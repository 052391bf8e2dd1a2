// One D-Bus property read without waiting for it: a newer read through the
// same cancellable cancels the one before, and `done` gets the property's
// value (null when the call failed), on the calling thread's thread-default
// context, never for a read that was cancelled.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

namespace platform::linux_machine {

void readPropertyLater(GDBusConnection* bus, const std::string& name, const std::string& path,
                       const char* interface, const char* property, int timeoutMs,
                       GCancellable** reading, std::function<void(GVariant* value)> done);

}  // namespace platform::linux_machine
