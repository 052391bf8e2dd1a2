#include "sim/SimMachine.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform::sim {

SimMachine::SimMachine() : bus_(*this) {
    holdParts({&defaults_, &bus_, &displays_, &hid_, &lightSensor_, &tasks_, &session_,
               &avServices_, &texts_});
}

void SimMachine::useDefaultsStorage(std::unique_ptr<DefaultsStorage> storage) {
    defaultsOverride_ = std::move(storage);
    Parts parts = this->parts();
    parts.defaults = defaultsOverride_ ? defaultsOverride_.get() : &defaults_;
    holdParts(parts);
}

SimMachine& SimMachine::installNew() {
    auto machine = std::make_unique<SimMachine>();
    auto& ref = *machine;
    Machine::install(std::move(machine));
    return ref;
}

void SimMachine::sleepMicroseconds(std::uint32_t usec) {
    if (dispatch_.inBlock()) {
        dispatch_.advanceBlockClock(usec / 1e6);
        return;
    }
    sleeps.push_back(usec);
    recordCall("usleep(" + std::to_string(usec) + ")");
    clock_ += usec / 1e6;
    dispatch_.runUntil(clock_);
}

CFRunLoopRunResult SimMachine::runRunLoop(CFRunLoopRef rl, const CFRunLoopMode& mode,
                                          double seconds, bool returnAfterSourceHandled) {
    const double deadline = clock_ + seconds;
    for (;;) {
        int handled = rl->serviceDue(clock_, mode);
        if (rl->stopRequested)
            return kCFRunLoopRunStopped;
        if (handled > 0 && returnAfterSourceHandled)
            return kCFRunLoopRunHandledSource;
        if (rl->hasSignalledSource(mode))
            continue;
        // Queue blocks due by now run first; they may post to this loop.
        const double queued = dispatch_.nextStart();
        if (queued <= clock_) {
            dispatch_.runUntil(clock_);
            continue;
        }
        if (!rl->hasAnythingIn(mode) && !std::isfinite(queued) && !std::isfinite(seconds))
            return kCFRunLoopRunFinished;
        double next = std::min(rl->nextTimerDate(mode), queued);
        if (next <= deadline) {
            if (next > clock_)
                clock_ = next;
            continue;
        }
        if (std::isfinite(deadline))
            clock_ = std::max(clock_, deadline);
        return kCFRunLoopRunTimedOut;
    }
}

void SimMachine::runFor(double seconds) {
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, seconds, false);
}

}  // namespace platform::sim
