#include "support/Waiting.h"

#include <chrono>
#include <thread>

#include "CoreFoundation/CFRunLoop.h"

namespace testing_support {
namespace {

bool until(const std::function<bool()>& done, double seconds, const std::function<void()>& turn) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        turn();
    }
    return true;
}

}  // namespace

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool waitFor(const std::function<bool()>& done, double seconds) {
    return until(done, seconds, [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
}

bool runLoopUntil(const std::function<bool()>& done, double seconds) {
    return until(done, seconds, [] { CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, true); });
}

}  // namespace testing_support
