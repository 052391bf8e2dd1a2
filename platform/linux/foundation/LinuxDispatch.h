// Dispatch queues on Linux: a thread for each serial queue, and GLib's
// default main context (the main thread's run loop) for the main queue.
#pragma once

#include <memory>
#include <string>

#include "dispatch/DispatchQueue.h"

namespace platform::linux_machine {

std::shared_ptr<DispatchQueue> createThreadQueue(const std::string& label);
std::shared_ptr<DispatchQueue> mainContextQueue();
// Lets every queue's running block finish and ends their threads; blocks not
// started are dropped. For the machine going away (at the process's end),
// so that no block runs on without it.
void stopThreadQueues();

}  // namespace platform::linux_machine
