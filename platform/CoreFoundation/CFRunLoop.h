// Run loops, timers and sources.
//
// Each thread has one run loop. Timers and sources are added for one or more
// modes and fire only while the run loop runs in one of them. How the loop
// waits (virtual time on the simulated machine, GLib's main context on Linux)
// belongs to the installed machine; what fires when is decided here.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CoreFoundation/CFBase.h"

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

CFRunLoopRef CFRunLoopGetCurrent();
CFAbsoluteTime CFAbsoluteTimeGetCurrent();
CFRunLoopTimerRef CFRunLoopTimerCreateWithHandler(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                                  CFTimeInterval interval, CFOptionFlags flags,
                                                  CFIndex order,
                                                  std::function<void(CFRunLoopTimerRef)> block);
void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, const CFRunLoopMode& mode);
void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer);
CFRunLoopSourceRef CFRunLoopSourceCreate(std::function<void()> perform);
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, const CFRunLoopMode& mode);
void CFRunLoopSourceSignal(CFRunLoopSourceRef source);
void CFRunLoopWakeUp(CFRunLoopRef rl);
// Runs the current thread's loop in `mode` for at most `seconds`.
CFRunLoopRunResult CFRunLoopRunInMode(const CFRunLoopMode& mode, CFTimeInterval seconds,
                                      Boolean returnAfterSourceHandled);
// Runs the current thread's loop in the default mode until CFRunLoopStop.
void CFRunLoopRun();
void CFRunLoopStop(CFRunLoopRef rl);

// The bookkeeping of one run loop: what is scheduled in which mode, what is due.
class __CFRunLoop {
  public:
    void addTimer(CFRunLoopTimerRef timer, const CFRunLoopMode& mode);
    void addSource(CFRunLoopSourceRef source, const CFRunLoopMode& mode);

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
    struct TimerEntry {
        CFRunLoopTimerRef timer;
        std::set<CFRunLoopMode> modes;
    };
    struct SourceEntry {
        CFRunLoopSourceRef source;
        std::set<CFRunLoopMode> modes;
    };
    static bool inMode(const std::set<CFRunLoopMode>& modes, const CFRunLoopMode& mode);
    std::vector<TimerEntry> timers_;
    std::vector<SourceEntry> sources_;
    CFRunLoopMode currentMode_;
};
