// The session bus connected without waiting for it: GDBus connects on its own
// thread and the answer comes on the thread-default main context of the
// thread that asked, by when the asker may be gone.
#pragma once

#include <functional>
#include <memory>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace platform::linux_machine {

// `then` gets GLib's shared session bus connection (a reference of its own),
// or null and GLib's reason, unless `asker` has expired by then: the
// connection is then let go unseen.
void connectSessionBusLater(std::weak_ptr<void> asker,
                            std::function<void(GDBusConnection*, const std::string& why)> then);

}  // namespace platform::linux_machine
