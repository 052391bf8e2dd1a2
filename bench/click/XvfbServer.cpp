#include "click/XvfbServer.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace click_bench {
namespace {

const char* const kXvfb = "/usr/bin/Xvfb";
const char* const kXdotool = "/usr/bin/xdotool";

}  // namespace

std::string XvfbServer::whyNotRunnable() {
    if (::access(kXvfb, X_OK) != 0)
        return std::string(kXvfb) + " is not installed (Debian package xvfb)";
    if (::access(kXdotool, X_OK) != 0)
        return std::string(kXdotool) + " is not installed (Debian package xdotool)";
    return {};
}

XvfbServer::XvfbServer() {
    // -displayfd: the server picks a free display and writes its number to
    // our standard output once it accepts connections.
    server_ = std::make_unique<testing_support::ChildProcess>(std::vector<std::string>{
        kXvfb, "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end && server_->running()) {
        const std::string out = server_->standardOutput();
        if (out.find('\n') != std::string::npos) {
            display_ = ":" + out.substr(0, out.find('\n'));
            env_ = std::make_unique<testing_support::ScopedEnv>("DISPLAY", display_);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    why_ = "Xvfb did not come up: " + server_->standardError();
}

XvfbServer::~XvfbServer() {
    env_.reset();
    if (server_) {
        server_->signal(SIGTERM);
        if (!server_->wait(5.0))
            server_->signal(SIGKILL);
    }
}

}  // namespace click_bench
