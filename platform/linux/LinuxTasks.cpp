#include "linux/LinuxTasks.h"

#include <glib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

extern char** environ;

#ifndef PLATFORM_INSTALL_LIBEXECDIR
#define PLATFORM_INSTALL_LIBEXECDIR "/usr/local/libexec"
#endif

namespace platform::linux_machine {

bool LinuxTasks::launch(const std::string& path, const std::vector<std::string>& arguments) {
    std::string program = resolveProgram(path);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        machine_.writeLog("Could not start " + program + ": " + std::strerror(rc));
        return false;
    }
    // Reaped when the run loop next turns; the exit status is not read.
    g_child_watch_add(pid, [](GPid p, gint, gpointer) { g_spawn_close_pid(p); }, nullptr);
    return true;
}

std::string LinuxTasks::resolveProgram(const std::string& originalPath) {
    if (originalPath != "/bin/launchctl") return originalPath;
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto beside = self.parent_path().parent_path() / "libexec" / "launchctl";
        if (access(beside.c_str(), X_OK) == 0) return beside.string();
    }
    return std::string(PLATFORM_INSTALL_LIBEXECDIR) + "/launchctl";
}

}  // namespace platform::linux_machine
