// The main of every test program: each test runs in a process of its own,
// as CTest runs them, because the engine, the sensor and the installed
// machine are process-wide and never torn down, and the run-loop timers of
// one test would live on into the next.
//
// Asked for one test (`--gtest_filter=Suite.Name`, which is how CTest runs
// each), for the list of tests, or with DUOLUME_TESTS_IN_ONE_PROCESS set,
// the program is plain GoogleTest. Otherwise it lists the selected tests,
// orders them (shuffled with --gtest_shuffle, seed from --gtest_random_seed
// or the clock, as GoogleTest does) and runs each as its own child, printing
// the child's output only when the test fails.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The value of --name=value among the arguments, or empty.
std::string option(const std::vector<std::string>& args, const std::string& name) {
    for (const auto& a : args)
        if (startsWith(a, "--" + name + "="))
            return a.substr(name.size() + 3);
    return {};
}

bool hasFlag(const std::vector<std::string>& args, const std::string& name) {
    for (const auto& a : args)
        if (a == "--" + name || (startsWith(a, "--" + name + "=") && a != "--" + name + "=0"))
            return true;
    return false;
}

// One test exactly: a filter without patterns, alternatives or exclusions.
bool namesOneTest(const std::string& filter) {
    return !filter.empty() && filter.find_first_of("*?:-") == std::string::npos;
}

struct Outcome {
    int status = -1;  // exit status, -1 when ended by a signal
    std::string output;
};

// Runs this program again with `args`, its output kept in a file.
Outcome runChild(const std::vector<std::string>& args) {
    char path[] = "/tmp/duolume-test-XXXXXX";
    const int out = mkstemp(path);
    if (out < 0)
        return {-1, "cannot create a file for the test's output\n"};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out, STDERR_FILENO);
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    Outcome outcome;
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (WIFSIGNALED(status))
            outcome.output = "(ended by signal " + std::to_string(WTERMSIG(status)) + ")\n";
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out);
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    outcome.output = text.str() + outcome.output;
    unlink(path);
    return outcome;
}

// The selected tests as GoogleTest lists them: "Suite." lines, then indented names.
std::vector<std::string> listTests(const std::vector<std::string>& passOn) {
    std::vector<std::string> args = passOn;
    args.push_back("--gtest_list_tests");
    const Outcome listed = runChild(args);
    std::vector<std::string> tests;
    std::istringstream lines(listed.output);
    std::string line, suite;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        const std::string word = line.substr(line.find_first_not_of(' '));
        const std::string name = word.substr(0, word.find(' '));
        if (line[0] != ' ')
            suite = name;
        else
            tests.push_back(suite + name);
    }
    return tests;
}

int runEachInItsOwnProcess(const std::vector<std::string>& args) {
    // Every argument but the ones that choose and order the tests goes to each child.
    std::vector<std::string> passOn{args[0]};
    for (std::size_t i = 1; i < args.size(); ++i)
        if (!startsWith(args[i], "--gtest_shuffle") &&
            !startsWith(args[i], "--gtest_random_seed") && !startsWith(args[i], "--gtest_repeat") &&
            !startsWith(args[i], "--gtest_output"))
            passOn.push_back(args[i]);
    std::vector<std::string> tests = listTests(passOn);
    if (hasFlag(args, "gtest_shuffle")) {
        const std::string given = option(args, "gtest_random_seed");
        const unsigned seed =
            given.empty() || given == "0"
                ? static_cast<unsigned>(
                      std::chrono::system_clock::now().time_since_epoch().count() % 99999 + 1)
                : static_cast<unsigned>(std::stoul(given));
        std::cout << "Note: Randomizing tests' orders with a seed of " << seed << " .\n";
        std::shuffle(tests.begin(), tests.end(), std::mt19937(seed));
    }
    std::cout << "[==========] Running " << tests.size()
              << " tests, each in a process of its own.\n";
    std::vector<std::string> failed, skipped;
    const auto started = std::chrono::steady_clock::now();
    for (const auto& test : tests) {
        std::vector<std::string> childArgs = passOn;
        childArgs.erase(
            std::remove_if(childArgs.begin() + 1, childArgs.end(),
                           [](const std::string& a) { return startsWith(a, "--gtest_filter"); }),
            childArgs.end());
        childArgs.push_back("--gtest_filter=" + test);
        std::cout << "[ RUN      ] " << test << std::endl;
        const auto begin = std::chrono::steady_clock::now();
        const Outcome outcome = runChild(childArgs);
        const long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - begin)
                            .count();
        if (outcome.status != 0) {
            std::cout << outcome.output << "[  FAILED  ] " << test << " (" << ms << " ms)\n";
            failed.push_back(test);
        } else if (outcome.output.find("[  SKIPPED ] " + test) != std::string::npos) {
            std::cout << "[  SKIPPED ] " << test << " (" << ms << " ms)\n";
            skipped.push_back(test);
        } else {
            std::cout << "[       OK ] " << test << " (" << ms << " ms)\n";
        }
    }
    const long total = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - started)
                           .count();
    std::cout << "[==========] " << tests.size() << " tests ran. (" << total << " ms total)\n"
              << "[  PASSED  ] " << tests.size() - failed.size() - skipped.size() << " tests.\n";
    if (!skipped.empty())
        std::cout << "[  SKIPPED ] " << skipped.size() << " tests.\n";
    for (const auto& t : failed)
        std::cout << "[  FAILED  ] " << t << "\n";
    if (!failed.empty())
        std::cout << "\n " << failed.size() << " FAILED TESTS\n";
    return failed.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // No test, nor a program it starts, reads or writes the machine's dconf;
    // a test that wants stored settings names its own back-end.
    setenv("GSETTINGS_BACKEND", "memory", 0);
    const std::vector<std::string> args(argv, argv + argc);
    const bool inOneProcess = std::getenv("DUOLUME_TESTS_IN_ONE_PROCESS") != nullptr ||
                              hasFlag(args, "gtest_list_tests") || hasFlag(args, "help") ||
                              namesOneTest(option(args, "gtest_filter"));
    if (!inOneProcess)
        return runEachInItsOwnProcess(args);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
