// Work handed from another thread to the main run loop (GLib's default main
// context, which the main thread's CFRunLoop and Qt's event loop turn).
#pragma once

#include <functional>

typedef struct _GMainContext GMainContext;

namespace platform::linux_machine {

// Runs `work` on the main context the next time it is turned; safe from any
// thread. Work that outlives its owner must check for it itself.
void postToMainContext(std::function<void()> work);
// The same for another thread's context.
void postToContext(GMainContext* context, std::function<void()> work);

}  // namespace platform::linux_machine
