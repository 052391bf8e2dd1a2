// Waiting in a test for what another process, thread or the run loop does.
#pragma once

#include <functional>

namespace testing_support {

// Checks `done` every 20 ms until it is true or `seconds` have passed;
// returns `done()`. For work done elsewhere (another process, a thread).
bool waitFor(const std::function<bool()>& done, double seconds = 15.0);

// Turns the current run loop in its default mode until `done` is true or
// `seconds` have passed; returns `done()`. For the machine's own timers,
// sources and device arrivals.
bool runLoopUntil(const std::function<bool()>& done, double seconds = 10.0);

// Seconds on the steady clock, for fakes that answer after a device's time.
double steadySeconds();

// The light sensor answers from what its sources' thread holds, which takes up
// a change within about a second: true once `read()` gives `expected`.
template <typename Read, typename Value>
bool soon(Read read, const Value& expected) {
    // A change stands after up to 5 s (SteadyLight.h) and is read once a second.
    return waitFor([&] { return read() == expected; }, 8.0);
}

}  // namespace testing_support
