#include "support/PrivateBus.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

extern char** environ;

namespace testing_support {

PrivateBus::PrivateBus(Kind kind) {
    // A configuration of our own: listen on a socket in our folder, allow
    // everything between processes of this user.
    std::string socket = dir_ / "bus";
    std::string config = dir_ / "bus.conf";
    writeFile(config,
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>" +
                  std::string(kind == Kind::Session ? "session" : "system") +
                  "</type><listen>unix:path=" + socket +
                  "</listen><auth>EXTERNAL</auth>"
                  "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/><allow user=\"*\"/></policy>"
                  "</busconfig>\n");
    int pipefd[2];
    if (pipe(pipefd) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    std::string configArg = "--config-file=" + config;
    const char* argv[] = {"dbus-daemon", configArg.c_str(), "--nofork", "--print-address", nullptr};
    int rc = posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    if (rc != 0) {
        close(pipefd[0]);
        throw std::runtime_error("cannot start dbus-daemon");
    }
    std::string line;
    char c;
    while (read(pipefd[0], &c, 1) == 1 && c != '\n') line += c;
    close(pipefd[0]);
    if (line.empty()) throw std::runtime_error("dbus-daemon printed no address");
    address_ = line;
    env_ = std::make_unique<ScopedEnv>(
        kind == Kind::Session ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS", address_);
}

void PrivateBus::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

void PrivateBus::freeze(bool frozen) {
    if (pid_ > 0)
        kill(pid_, frozen ? SIGSTOP : SIGCONT);
}

PrivateBus::~PrivateBus() {
    freeze(false);
    stop();
}

}  // namespace testing_support
