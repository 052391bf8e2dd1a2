// A connection of its own to a message bus. GLib's shared bus connection
// would end the whole process when its bus goes away; a private one with
// exit-on-close off just closes, and its user connects again later.
#pragma once

#include <gio/gio.h>

#include <string>

namespace platform::linux_machine {

// A new connection to `type`'s bus, or null when none can be made, with
// GLib's reason in `why` when asked.
GDBusConnection* openPrivateBusConnection(GBusType type, std::string* why = nullptr);

}  // namespace platform::linux_machine
