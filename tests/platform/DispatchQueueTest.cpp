// Dispatch queues: on the simulated machine each queue keeps its own
// timeline; on Linux each runs on a thread of its own, and the main queue on
// GLib's main context.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSProcessInfo.h"
#include "dispatch/DispatchQueue.h"
#include "linux/LinuxMachine.h"
#include "sim/SimMachine.h"

namespace {

dispatch_time_t in(double seconds) {
    return dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(seconds * 1e9));
}

TEST(SimDispatch, ABlocksSleepMovesOnlyItsOwnQueuesClock) {
    auto& sim = platform::sim::SimMachine::installNew();
    const double t0 = CFAbsoluteTimeGetCurrent();
    auto a = dispatch_queue_create("a", DISPATCH_QUEUE_SERIAL);
    auto b = dispatch_queue_create("b", DISPATCH_QUEUE_SERIAL);
    std::vector<std::pair<char, double>> ran;
    auto note = [&](char name) { ran.emplace_back(name, CFAbsoluteTimeGetCurrent() - t0); };
    dispatch_async(a, [&] {
        note('a');
        platform::usleep(300000);  // a slow exchange
    });
    dispatch_async(a, [&] { note('A'); });  // waits for the one before
    dispatch_after(in(0.1), b, [&] { note('b'); });
    dispatch_async(dispatch_get_main_queue(), [&] { note('m'); });
    EXPECT_TRUE(ran.empty());  // nothing runs inside the call that submits
    platform::usleep(200000);
    EXPECT_NEAR(CFAbsoluteTimeGetCurrent() - t0, 0.2, 1e-9);  // the main clock alone
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[0], std::make_pair('a', 0.0));
    EXPECT_EQ(ran[1].first, 'b');
    EXPECT_NEAR(ran[1].second, 0.1, 1e-9);
    sim.runFor(0.5);  // the run loop serves the main queue, the clock the rest
    ASSERT_EQ(ran.size(), 4u);
    EXPECT_EQ(ran[2].first, 'm');
    EXPECT_EQ(ran[3].first, 'A');
    EXPECT_NEAR(ran[3].second, 0.3, 1e-9);
    EXPECT_EQ(sim.sleeps, std::vector<std::uint32_t>{200000});  // the main thread's only
}

TEST(SimDispatch, AQueueThatGoesTakesItsWaitingBlocksWithIt) {
    auto& sim = platform::sim::SimMachine::installNew();
    int ran = 0;
    auto queue = dispatch_queue_create("gone", DISPATCH_QUEUE_SERIAL);
    dispatch_after(in(0.1), queue, [&] { ++ran; });
    queue.reset();
    sim.runFor(1.0);
    EXPECT_EQ(ran, 0);
}

TEST(LinuxDispatch, BlocksRunInOrderOnAThreadOfTheirOwnAndNotEarly) {
    platform::linux_machine::LinuxMachine::installNew();
    auto queue = dispatch_queue_create("test", DISPATCH_QUEUE_SERIAL);
    const auto main = std::this_thread::get_id();
    const double t0 = CFAbsoluteTimeGetCurrent();
    std::vector<int> order;
    std::atomic<double> lateStart{0};
    std::atomic<bool> offMain{true}, done{false};
    dispatch_after(in(0.08), queue, [&] {
        lateStart = CFAbsoluteTimeGetCurrent() - t0;
        order.push_back(3);
        done = true;
    });
    for (int i = 0; i < 3; ++i) {
        dispatch_async(queue, [&, i] {
            offMain = offMain && std::this_thread::get_id() != main;
            order.push_back(i);
        });
    }
    bool onMain = false;
    dispatch_async(dispatch_get_main_queue(), [&] { onMain = std::this_thread::get_id() == main; });
    EXPECT_FALSE(onMain);
    for (int i = 0; i < 100 && !(done && onMain); ++i)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false);
    EXPECT_TRUE(onMain);
    ASSERT_TRUE(done);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(offMain);
    EXPECT_GE(lateStart, 0.08);
}

TEST(LinuxDispatch, AQueueMayGoInsideItsOwnBlock) {
    platform::linux_machine::LinuxMachine::installNew();
    auto holder = std::make_shared<dispatch_queue_t>(dispatch_queue_create("self", nullptr));
    std::atomic<bool> ran{false};
    dispatch_queue_t queue = *holder;
    dispatch_async(queue, [holder, &ran]() mutable {
        holder->reset();  // the last reference but the block's own
        ran = true;
    });
    queue.reset();
    holder.reset();
    for (int i = 0; i < 100 && !ran; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(ran);
}

}  // namespace
