// A real X server (Xvfb, no window manager) on a display number it chooses
// itself, so several can run on one machine. DISPLAY points at it while it
// runs, for the programs started after it and for this process's own Qt.
#pragma once

#include <memory>
#include <string>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace click_bench {

class XvfbServer {
  public:
    // Empty when Xvfb and xdotool are installed; else what is missing.
    static std::string whyNotRunnable();

    // Starts the server and waits until it accepts connections; on failure
    // `ok()` is false and `why()` says what went wrong.
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string& why() const { return why_; }
    const std::string& display() const { return display_; }

  private:
    std::unique_ptr<testing_support::ChildProcess> server_;
    std::unique_ptr<testing_support::ScopedEnv> env_;
    std::string display_;
    std::string why_;
};

}  // namespace click_bench
