#include "linux/foundation/LinuxTasks.h"

#include <glib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

extern char** environ;

// The folder the platform's own programs are installed in, and the same
// folder as seen from the installed bin folder. The build system names them:
// a folder of the installation's own, never the libexec folder that every
// package shares.
#ifndef PLATFORM_INSTALL_LIBEXECDIR
#define PLATFORM_INSTALL_LIBEXECDIR "/usr/local/libexec"
#endif
#ifndef PLATFORM_LIBEXECDIR_FROM_BINDIR
#define PLATFORM_LIBEXECDIR_FROM_BINDIR "../libexec"
#endif

namespace platform::linux_machine {
namespace {

// The child starts with no blocked signals and default dispositions, whatever
// this process changed (GDBus ignores SIGPIPE, for one).
struct SpawnAttributes {
    posix_spawnattr_t attr;
    SpawnAttributes() {
        posix_spawnattr_init(&attr);
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
};

void reapChild(GPid pid, gint, gpointer) {
    g_spawn_close_pid(pid);
}

}  // namespace

bool LinuxTasks::launch(const std::string& path, const std::vector<std::string>& arguments) {
    std::string program = resolveProgram(path);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    SpawnAttributes attributes;
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), nullptr, &attributes.attr, argv.data(), environ);
    if (rc != 0) {
        machine_.writeLog("Could not start " + program + ": " + std::strerror(rc));
        return false;
    }
    // Reaped when the run loop next turns after it ends; the exit status is not read.
    g_child_watch_add(pid, reapChild, nullptr);
    return true;
}

std::string LinuxTasks::resolveProgram(const std::string& originalPath) {
    if (originalPath != "/bin/launchctl")
        return originalPath;
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return locatePlatformProgram(ec ? std::filesystem::path() : self, "launchctl",
                                 PLATFORM_LIBEXECDIR_FROM_BINDIR, PLATFORM_INSTALL_LIBEXECDIR);
}

std::string locatePlatformProgram(const std::filesystem::path& runningProgram,
                                  const std::string& name, const std::string& installedFromBin,
                                  const std::string& installedDir) {
    if (!runningProgram.empty()) {
        // Beside the running program: an installation keeps it in its own
        // folder, seen from its bin folder; a build tree in libexec beside bin.
        // The installation's folder comes first, so that an installed program
        // never takes another package's program of the same name from the
        // shared libexec folder. Either tree can be moved as a whole.
        const auto folder = runningProgram.parent_path();
        for (const std::string& relative : {installedFromBin, std::string("../libexec")}) {
            auto candidate = (folder / relative / name).lexically_normal();
            if (access(candidate.c_str(), X_OK) == 0)
                return candidate.string();
        }
    }
    return installedDir + "/" + name;
}

}  // namespace platform::linux_machine
