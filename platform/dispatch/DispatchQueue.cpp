#include "dispatch/DispatchQueue.h"

#include <cmath>

#include "CoreFoundation/CFRunLoop.h"
#include "machine/Machine.h"

namespace {

double secondsOf(dispatch_time_t when) {
    return static_cast<double>(when) / static_cast<double>(NSEC_PER_SEC);
}

}  // namespace

dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t) {
    return platform::Machine::current().createDispatchQueue(label ? label : "");
}

dispatch_queue_t dispatch_get_main_queue() {
    return platform::Machine::current().mainDispatchQueue();
}

dispatch_time_t dispatch_time(dispatch_time_t when, std::int64_t delta) {
    if (when == DISPATCH_TIME_NOW)
        when = static_cast<dispatch_time_t>(
            std::llround(CFAbsoluteTimeGetCurrent() * static_cast<double>(NSEC_PER_SEC)));
    if (delta < 0 && static_cast<dispatch_time_t>(-delta) > when)
        return 1;  // the earliest time there is; 0 would mean "now"
    return when + static_cast<dispatch_time_t>(delta);
}

void dispatch_async(const dispatch_queue_t& queue, dispatch_block_t block) {
    if (queue && block)
        queue->enqueue(CFAbsoluteTimeGetCurrent(), std::move(block));
}

void dispatch_after(dispatch_time_t when, const dispatch_queue_t& queue, dispatch_block_t block) {
    if (!queue || !block)
        return;
    queue->enqueue(when == DISPATCH_TIME_NOW ? CFAbsoluteTimeGetCurrent() : secondsOf(when),
                   std::move(block));
}
