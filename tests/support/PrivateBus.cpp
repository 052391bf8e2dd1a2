#include "support/PrivateBus.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
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
    if (pipe(pipefd) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    std::string configArg = "--config-file=" + config;
    const char* argv[] = {"dbus-daemon", configArg.c_str(), "--nofork", "--print-address", nullptr};
    int rc =
        posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    if (rc != 0) {
        close(pipefd[0]);
        throw std::runtime_error("cannot start dbus-daemon");
    }
    std::string line;
    char c;
    while (read(pipefd[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(pipefd[0]);
    if (line.empty())
        throw std::runtime_error("dbus-daemon printed no address");
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

GDBusConnection* connectToBus(const std::string& address) {
    GError* error = nullptr;
    GDBusConnection* c = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    EXPECT_TRUE(c) << (error ? error->message : "");
    g_clear_error(&error);
    return c;
}

std::uint32_t requestBusName(GDBusConnection* c, const char* name) {
    GVariant* reply = g_dbus_connection_call_sync(
        c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        nullptr);
    guint32 result = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
    }
    return result;
}

}  // namespace testing_support
