// The run loop's types and the bookkeeping of one loop: what is scheduled in
// which mode and what is due. The operations on them (CoreFoundation/CFRunLoop.h)
// and the machines' waiting (machine/Machine.h) are built on this.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/CFBase.h"

using CFRunLoopMode = std::string;
extern const CFRunLoopMode kCFRunLoopDefaultMode;
// Stands for every mode (a timer or source added for it fires in any mode).
extern const CFRunLoopMode kCFRunLoopCommonModes;

struct __CFRunLoopTimer;
struct __CFRunLoopSource;
class __CFRunLoop;
using CFRunLoopTimerRef = std::shared_ptr<__CFRunLoopTimer>;
using CFRunLoopSourceRef = std::shared_ptr<__CFRunLoopSource>;
using CFRunLoopRef = __CFRunLoop*;

struct __CFRunLoopTimer {
    CFAbsoluteTime fireDate = 0;
    CFTimeInterval interval = 0;  // 0: fires once
    std::function<void(CFRunLoopTimerRef)> handler;
    bool valid = true;
};

// A source is performed by its run loop after it has been signalled.
struct __CFRunLoopSource {
    std::function<void()> perform;
    bool signalled = false;
};

enum CFRunLoopRunResult : SInt32 {
    kCFRunLoopRunFinished = 1,  // no timer or source left in the mode
    kCFRunLoopRunStopped = 2,
    kCFRunLoopRunTimedOut = 3,
    kCFRunLoopRunHandledSource = 4,
};

// The bookkeeping of one run loop: what is scheduled in which mode, what is due.
class __CFRunLoop {
  public:
    // True when the timer or source is new to the loop (the loop then has to
    // look again); adding one it holds adds the mode only.
    bool addTimer(CFRunLoopTimerRef timer, const CFRunLoopMode& mode);
    bool addSource(CFRunLoopSourceRef source, const CFRunLoopMode& mode);

    // Fires every timer due at `now` and performs every signalled source, for
    // `mode`. Returns how many sources were performed and timers fired.
    int serviceDue(CFAbsoluteTime now, const CFRunLoopMode& mode);
    // The earliest fire date of a valid timer in `mode`, or infinity.
    CFAbsoluteTime nextTimerDate(const CFRunLoopMode& mode) const;
    bool hasSignalledSource(const CFRunLoopMode& mode) const;
    bool hasAnythingIn(const CFRunLoopMode& mode) const;

    // The mode the loop runs in now; empty when it is not running.
    const CFRunLoopMode& currentMode() const { return currentMode_; }
    void setCurrentMode(CFRunLoopMode mode) { currentMode_ = std::move(mode); }
    bool stopRequested = false;

  private:
    // A timer or source and the modes it was added for.
    template <class Ref>
    struct Entry {
        Ref ref;
        std::set<CFRunLoopMode> modes;
    };
    template <class Ref>
    static bool add(std::vector<Entry<Ref>>& entries, Ref ref, const CFRunLoopMode& mode);
    static bool inMode(const std::set<CFRunLoopMode>& modes, const CFRunLoopMode& mode);
    std::vector<Entry<CFRunLoopTimerRef>> timers_;
    std::vector<Entry<CFRunLoopSourceRef>> sources_;
    CFRunLoopMode currentMode_;
};
