#include "base/RunLoopBookkeeping.h"

#include <algorithm>
#include <cmath>
#include <limits>

const CFRunLoopMode kCFRunLoopDefaultMode = "kCFRunLoopDefaultMode";
const CFRunLoopMode kCFRunLoopCommonModes = "kCFRunLoopCommonModes";

bool __CFRunLoop::inMode(const std::set<CFRunLoopMode>& modes, const CFRunLoopMode& mode) {
    return modes.count(mode) || modes.count(kCFRunLoopCommonModes);
}

template <class Ref>
bool __CFRunLoop::add(std::vector<Entry<Ref>>& entries, Ref ref, const CFRunLoopMode& mode) {
    if (!ref)
        return false;
    for (auto& e : entries) {
        if (e.ref == ref) {
            e.modes.insert(mode);
            return false;
        }
    }
    entries.push_back({std::move(ref), {mode}});
    return true;
}

bool __CFRunLoop::addTimer(CFRunLoopTimerRef timer, const CFRunLoopMode& mode) {
    return add(timers_, std::move(timer), mode);
}

bool __CFRunLoop::addSource(CFRunLoopSourceRef source, const CFRunLoopMode& mode) {
    return add(sources_, std::move(source), mode);
}

int __CFRunLoop::serviceDue(CFAbsoluteTime now, const CFRunLoopMode& mode) {
    int handled = 0;
    // Sources first; copies, because a perform may add timers or sources.
    auto sources = sources_;
    for (auto& e : sources) {
        if (inMode(e.modes, mode) && e.ref->signalled) {
            e.ref->signalled = false;
            ++handled;
            if (e.ref->perform)
                e.ref->perform();
            if (stopRequested)
                return handled;
        }
    }
    auto timers = timers_;
    for (auto& e : timers) {
        auto& t = e.ref;
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
    std::erase_if(timers_, [](const Entry<CFRunLoopTimerRef>& e) { return !e.ref->valid; });
    return handled;
}

CFAbsoluteTime __CFRunLoop::nextTimerDate(const CFRunLoopMode& mode) const {
    double next = std::numeric_limits<double>::infinity();
    for (const auto& e : timers_)
        if (e.ref->valid && inMode(e.modes, mode))
            next = std::min(next, e.ref->fireDate);
    return next;
}

bool __CFRunLoop::hasSignalledSource(const CFRunLoopMode& mode) const {
    for (const auto& e : sources_)
        if (e.ref->signalled && inMode(e.modes, mode))
            return true;
    return false;
}

bool __CFRunLoop::hasAnythingIn(const CFRunLoopMode& mode) const {
    for (const auto& e : sources_)
        if (inMode(e.modes, mode))
            return true;
    for (const auto& e : timers_)
        if (e.ref->valid && inMode(e.modes, mode))
            return true;
    return false;
}
