// Turning GLib's default main context from a test, where the Linux machine's
// timers, bus replies and device watches arrive.
#pragma once

#include <functional>

namespace testing_support {

// Turns the context until `done` is true or `seconds` have passed; returns `done()`.
bool turnMainContextUntil(const std::function<bool()>& done, double seconds = 5.0);

}  // namespace testing_support
