#include "CoreFoundation/CFRunLoop.h"

#include "machine/Machine.h"

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
    if (rl && rl->addTimer(std::move(timer), mode))
        CFRunLoopWakeUp(rl);
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
    if (rl && rl->addSource(std::move(source), mode))
        CFRunLoopWakeUp(rl);
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
