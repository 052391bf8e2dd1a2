#include "click/Xdotool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "support/ChildProcess.h"

extern char** environ;

namespace click_bench {
namespace {

const char* const kXdotool = "/usr/bin/xdotool";

}  // namespace

std::optional<std::string> xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{kXdotool};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    testing_support::ChildProcess child(argv);
    const auto status = child.wait(10.0);
    if (status != 0)
        return std::nullopt;
    return child.standardOutput();
}

std::optional<WindowGeometry> largestWindowOf(pid_t pid) {
    auto ids = xdotool({"search", "--onlyvisible", "--pid", std::to_string(pid)});
    if (!ids)
        return std::nullopt;
    std::optional<WindowGeometry> largest;
    std::istringstream lines(*ids);
    for (std::string id; std::getline(lines, id);) {
        // --shell prints WINDOW=, X=, Y=, WIDTH=, HEIGHT=, SCREEN= lines.
        auto shell = xdotool({"getwindowgeometry", "--shell", id});
        if (!shell)
            continue;
        WindowGeometry g;
        std::istringstream fields(*shell);
        for (std::string field; std::getline(fields, field);) {
            const auto eq = field.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string name = field.substr(0, eq);
            const int value = std::atoi(field.c_str() + eq + 1);
            if (name == "X")
                g.x = value;
            else if (name == "Y")
                g.y = value;
            else if (name == "WIDTH")
                g.width = value;
            else if (name == "HEIGHT")
                g.height = value;
        }
        if (!largest || g.width * g.height > largest->width * largest->height)
            largest = g;
    }
    return largest;
}

bool movePointer(int x, int y) {
    return xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y)}).has_value();
}

namespace {

// Started without a shell or copies of the environment, to lose no time;
// what it prints goes nowhere.
pid_t spawn(const char* const* argv) {
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kXdotool, &quiet, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (rc != 0)
        throw std::runtime_error("cannot start xdotool");
    return pid;
}

bool succeeded(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

Click::Click() {
    const char* argv[] = {kXdotool, "click", "1", nullptr};
    sentAt = std::chrono::steady_clock::now();
    pid_ = spawn(argv);
}

Click::~Click() {
    finish();
}

bool Click::finish() {
    if (!clicked_)
        clicked_ = succeeded(pid_);
    return *clicked_;
}

double startMilliseconds() {
    const char* argv[] = {kXdotool, "getmouselocation", nullptr};
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        succeeded(spawn(argv));
        runs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace click_bench
