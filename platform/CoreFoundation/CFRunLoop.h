// Run loops, timers and sources.
//
// Each thread has one run loop. Timers and sources are added for one or more
// modes and fire only while the run loop runs in one of them. How the loop
// waits (virtual time on the simulated machine, GLib's main context on Linux)
// belongs to the installed machine; what fires when is decided here.
#pragma once

#include <functional>

#include "base/CFBase.h"
#include "base/RunLoopBookkeeping.h"

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
