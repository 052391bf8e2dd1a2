// The run loop on GLib's default main context, the one Qt's event loop turns
// on Linux: timers and signalled sources fire inside the preferences window
// and in the headless agent alike.
#pragma once

#include "CoreFoundation/CFRunLoop.h"

namespace platform::linux_machine {

CFRunLoopRunResult runGLibRunLoop(CFRunLoopRef rl, const CFRunLoopMode& mode, double seconds,
                                  bool returnAfterSourceHandled);
void wakeUpGLibRunLoop(CFRunLoopRef rl);

}  // namespace platform::linux_machine
