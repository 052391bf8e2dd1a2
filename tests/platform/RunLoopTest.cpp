// The run loop's timers, sources and modes on the simulated machine.
#include <gtest/gtest.h>

#include "CoreFoundation/CFRunLoop.h"
#include "sim/SimMachine.h"

using platform::sim::SimMachine;

TEST(SimRunLoop, RepeatingTimerFiresOncePerIntervalInVirtualTime) {
    auto& sim = SimMachine::installNew();
    const double start = CFAbsoluteTimeGetCurrent();
    std::vector<double> fired;
    auto timer = CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, start + 1.0, 1.0, 0, 0,
        [&](CFRunLoopTimerRef) { fired.push_back(CFAbsoluteTimeGetCurrent() - start); });
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
    sim.runFor(3.5);
    EXPECT_EQ(fired, (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_DOUBLE_EQ(CFAbsoluteTimeGetCurrent() - start, 3.5);
}

TEST(SimRunLoop, TimerInDefaultModeWaitsWhileAnotherModeRuns) {
    auto& sim = SimMachine::installNew();
    int fired = 0;
    auto timer =
        CFRunLoopTimerCreateWithHandler(kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + 1.0, 1.0,
                                        0, 0, [&](CFRunLoopTimerRef) { ++fired; });
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
    CFRunLoopRunInMode("OtherMode", 5.0, false);
    EXPECT_EQ(fired, 0);
    // Back in the default mode the overdue timer fires once, not five times.
    sim.runFor(0.5);
    EXPECT_EQ(fired, 1);
}

TEST(SimRunLoop, SignalledSourceIsPerformedOnlyInItsModeAndStopEndsTheRun) {
    auto& sim = SimMachine::installNew();
    int performed = 0;
    auto source = CFRunLoopSourceCreate([&] {
        ++performed;
        CFRunLoopStop(CFRunLoopGetCurrent());
    });
    CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
    CFRunLoopSourceSignal(source);
    CFRunLoopRunInMode("OtherMode", 1.0, false);
    EXPECT_EQ(performed, 0);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10.0, false), kCFRunLoopRunStopped);
    EXPECT_EQ(performed, 1);
    (void)sim;
}

TEST(SimRunLoop, UsleepAdvancesTheClockWithoutFiringTimers) {
    auto& sim = SimMachine::installNew();
    int fired = 0;
    auto timer =
        CFRunLoopTimerCreateWithHandler(kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + 0.5, 0, 0,
                                        0, [&](CFRunLoopTimerRef) { ++fired; });
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
    const double start = CFAbsoluteTimeGetCurrent();
    for (int i = 0; i < 100; ++i)
        platform::Machine::current().sleepMicroseconds(10000);
    EXPECT_NEAR(CFAbsoluteTimeGetCurrent() - start, 1.0, 1e-9);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(sim.sleeps.size(), 100u);
}
