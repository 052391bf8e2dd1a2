#include "CoreFoundation/CFRunLoop.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Machine.h"

const CFRunLoopMode kCFRunLoopDefaultMode = "kCFRunLoopDefaultMode";
const CFRunLoopMode kCFRunLoopCommonModes = "kCFRunLoopCommonModes";

bool __CFRunLoop::inMode(const std::set<CFRunLoopMode>& modes, const CFRunLoopMode& mode) {
    return modes.count(mode) || modes.count(kCFRunLoopCommonModes);
}

void __CFRunLoop::addTimer(CFRunLoopTimerRef timer, const CFRunLoopMode& mode) {
    if (!timer)
        return;
    for (auto& e : timers_) {
        if (e.timer == timer) {
            e.modes.insert(mode);
            return;
        }
    }
    timers_.push_back({std::move(timer), {mode}});
    CFRunLoopWakeUp(this);
}

void __CFRunLoop::addSource(CFRunLoopSourceRef source, const CFRunLoopMode& mode) {
    if (!source)
        return;
    for (auto& e : sources_) {
        if (e.source == source) {
            e.modes.insert(mode);
            return;
        }
    }
    sources_.push_back({std::move(source), {mode}});
    CFRunLoopWakeUp(this);
}

int __CFRunLoop::serviceDue(CFAbsoluteTime now, const CFRunLoopMode& mode) {
    int handled = 0;
    // Sources first; copies, because a perform may add timers or sources.
    auto sources = sources_;
    for (auto& e : sources) {
        if (inMode(e.modes, mode) && e.source->signalled) {
            e.source->signalled = false;
            ++handled;
            if (e.source->perform)
                e.source->perform();
            if (stopRequested)
                return handled;
        }
    }
    auto timers = timers_;
    for (auto& e : timers) {
        auto& t = e.timer;
        if (!t->valid || !inMode(e.modes, mode) || t->fireDate > now)
            continue;
        if (t->interval > 0) {
            // A repeating timer fires once for all the dates it missed.
            double missed = std::floor((now - t->fireDate) / t->interval) + 1;
            t->fireDate += missed * t->interval;
        } else {
            t->valid = false;
        }
        ++handled;
        if (t->handler)
            t->handler(t);
        if (stopRequested)
            break;
    }
    std::erase_if(timers_, [](const TimerEntry& e) { return !e.timer->valid; });
    return handled;
}

CFAbsoluteTime __CFRunLoop::nextTimerDate(const CFRunLoopMode& mode) const {
    double next = std::numeric_limits<double>::infinity();
    for (const auto& e : timers_)
        if (e.timer->valid && inMode(e.modes, mode))
            next = std::min(next, e.timer->fireDate);
    return next;
}

bool __CFRunLoop::hasSignalledSource(const CFRunLoopMode& mode) const {
    for (const auto& e : sources_)
        if (e.source->signalled && inMode(e.modes, mode))
            return true;
    return false;
}

bool __CFRunLoop::hasAnythingIn(const CFRunLoopMode& mode) const {
    for (const auto& e : sources_)
        if (inMode(e.modes, mode))
            return true;
    for (const auto& e : timers_)
        if (e.timer->valid && inMode(e.modes, mode))
            return true;
    return false;
}

CFRunLoopRef CFRunLoopGetCurrent() {
    // Everything in this program runs on the main thread; one loop per thread.
    thread_local __CFRunLoop loop;
    return &loop;
}

CFAbsoluteTime CFAbsoluteTimeGetCurrent() {
    return platform::Machine::current().absoluteTime();
}

CFRunLoopTimerRef CFRunLoopTimerCreateWithHandler(CFAllocatorRef, CFAbsoluteTime fireDate,
                                                  CFTimeInterval interval, CFOptionFlags, CFIndex,
                                                  std::function<void(CFRunLoopTimerRef)> block) {
    auto t = std::make_shared<__CFRunLoopTimer>();
    t->fireDate = fireDate;
    t->interval = interval;
    t->handler = std::move(block);
    return t;
}

void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, const CFRunLoopMode& mode) {
    if (rl)
        rl->addTimer(std::move(timer), mode);
}

void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer) {
    if (timer)
        timer->valid = false;
}

CFRunLoopSourceRef CFRunLoopSourceCreate(std::function<void()> perform) {
    auto s = std::make_shared<__CFRunLoopSource>();
    s->perform = std::move(perform);
    return s;
}

void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, const CFRunLoopMode& mode) {
    if (rl)
        rl->addSource(std::move(source), mode);
}

void CFRunLoopSourceSignal(CFRunLoopSourceRef source) {
    if (source)
        source->signalled = true;
}

void CFRunLoopWakeUp(CFRunLoopRef rl) {
    if (platform::Machine::isInstalled())
        platform::Machine::current().wakeUpRunLoop(rl);
}

CFRunLoopRunResult CFRunLoopRunInMode(const CFRunLoopMode& mode, CFTimeInterval seconds,
                                      Boolean returnAfterSourceHandled) {
    CFRunLoopRef rl = CFRunLoopGetCurrent();
    CFRunLoopMode previous = rl->currentMode();
    rl->setCurrentMode(mode);
    rl->stopRequested = false;
    auto result =
        platform::Machine::current().runRunLoop(rl, mode, seconds, returnAfterSourceHandled);
    rl->stopRequested = false;
    rl->setCurrentMode(previous);
    return result;
}

void CFRunLoopRun() {
    for (;;) {
        auto r = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1e10, false);
        if (r == kCFRunLoopRunStopped || r == kCFRunLoopRunFinished)
            return;
    }
}

void CFRunLoopStop(CFRunLoopRef rl) {
    if (!rl)
        return;
    rl->stopRequested = true;
    CFRunLoopWakeUp(rl);
}
