#include "sim/SimMachine.h"

#include <cmath>
#include <limits>

namespace platform::sim {

SimMachine::SimMachine() : bus_(*this) {}

SimMachine& SimMachine::installNew() {
    auto machine = std::make_unique<SimMachine>();
    auto& ref = *machine;
    Machine::install(std::move(machine));
    return ref;
}

void SimMachine::sleepMicroseconds(std::uint32_t usec) {
    sleeps.push_back(usec);
    recordCall("usleep(" + std::to_string(usec) + ")");
    clock_ += usec / 1e6;
}

CFRunLoopRunResult SimMachine::runRunLoop(CFRunLoopRef rl, const CFRunLoopMode& mode,
                                          double seconds, bool returnAfterSourceHandled) {
    const double deadline = clock_ + seconds;
    for (;;) {
        int handled = rl->serviceDue(clock_, mode);
        if (rl->stopRequested) return kCFRunLoopRunStopped;
        if (handled > 0 && returnAfterSourceHandled) return kCFRunLoopRunHandledSource;
        if (rl->hasSignalledSource(mode)) continue;
        if (!rl->hasAnythingIn(mode) && !std::isfinite(seconds)) return kCFRunLoopRunFinished;
        double next = rl->nextTimerDate(mode);
        if (next <= deadline) {
            if (next > clock_) clock_ = next;
            continue;
        }
        if (std::isfinite(deadline)) clock_ = std::max(clock_, deadline);
        return kCFRunLoopRunTimedOut;
    }
}

void SimMachine::runFor(double seconds) { CFRunLoopRunInMode(kCFRunLoopDefaultMode, seconds, false); }

}  // namespace platform::sim
