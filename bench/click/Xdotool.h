// Real X input and window look-ups through xdotool, as a person's mouse
// would reach the window: the X server delivers the events, the program
// under test cannot tell them from a mouse's.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace click_bench {

struct WindowGeometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// Runs xdotool with `arguments` to its end; its standard output, or absent
// when it failed.
std::optional<std::string> xdotool(const std::vector<std::string>& arguments);

// The largest visible top-level window of process `pid` (its main window,
// not a dialog or the X selection owner), or absent while it has none.
std::optional<WindowGeometry> largestWindowOf(pid_t pid);

// Moves the pointer and returns once the X server has it there.
bool movePointer(int x, int y);

// A left click, sent by an xdotool started at `sentAt`; the click reaches the
// server once xdotool has started and connected (see startMilliseconds).
class Click {
  public:
    Click();
    ~Click();
    Click(const Click&) = delete;
    Click& operator=(const Click&) = delete;

    std::chrono::steady_clock::time_point sentAt;
    // Waits for xdotool's end; true when it clicked.
    bool finish();

  private:
    pid_t pid_ = -1;
    std::optional<bool> clicked_;
};

// How long xdotool takes to start, connect and make one request (the median
// of five runs of "getmouselocation"): at most this long after `sentAt` the
// click is on its way.
double startMilliseconds();

}  // namespace click_bench
