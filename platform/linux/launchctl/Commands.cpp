#include "Commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "Foundation/PropertyListSerialization.h"
#include "Systemctl.h"
#include "SystemdUnit.h"

namespace launchctl {
namespace {

constexpr int kErrIO = 5;
constexpr int kErrNotFound = 113;
constexpr int kErrDisabled = 119;

const char* verb(const Options& o) {
    return o.load ? "Load" : "Unload";
}

int failed(const Options& o, int code, const char* text) {
    std::fprintf(stderr, "%s failed: %d: %s\n", verb(o), code, text);
    return code;
}

void say(const std::string& path, const std::string& line) {
    std::fprintf(stderr, "launchctl: %s: %s\n", path.c_str(), line.c_str());
}

std::optional<std::string> readWholeFile(const std::string& path, int* err) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *err = errno ? errno : ENOENT;
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// $XDG_CONFIG_HOME/systemd/user (an unset or relative XDG_CONFIG_HOME means ~/.config).
std::string unitFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/systemd/user";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/") + "/.config/systemd/user";
}

bool makeFolders(const std::string& path) {
    std::string::size_type pos = 1;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// The user manager: daemon-reload first, so that a missing manager is told
// apart from a failing unit.
std::optional<std::string> reachUserManager(const std::string& path) {
    auto systemctl = findSystemctl();
    if (!systemctl) {
        say(path, "systemctl is not on PATH; launch agents need a systemd user manager");
        return std::nullopt;
    }
    int status = runSystemctl(*systemctl, {"daemon-reload"});
    if (status != 0) {
        say(path,
            "no systemd user manager is reachable for this session (systemctl --user "
            "daemon-reload exited with status " +
                std::to_string(status) + ")");
        return std::nullopt;
    }
    return systemctl;
}

int load(const Options& o, const std::string& path, const UnitTranslation& t) {
    const LaunchdJob& job = *t.job;
    if (!job.loadsInSession(o.sessionType)) {
        say(path,
            "LimitLoadToSessionType does not include " + o.sessionType + "; nothing found to load");
        return 0;
    }
    if (job.disabled && !o.overrideDisabled) {
        say(path,
            "the job is disabled (\"Disabled\" is true) and is not loaded; -w loads it anyway");
        return failed(o, kErrDisabled, "Service is disabled");
    }
    for (const auto& key : job.ignored)
        say(path, key + " has no systemd counterpart; ignored");
    const std::string folder = unitFolder();
    const std::string unitPath = folder + "/" + t.unitName;
    std::string why;
    if (!makeFolders(folder) ||
        !platform::writeFileContents(unitPath, t.unitText, true, 0644, &why)) {
        say(unitPath, why.empty() ? std::strerror(errno) : why);
        return failed(o, kErrIO, "Input/output error");
    }
    auto systemctl = reachUserManager(path);
    if (!systemctl)
        return failed(o, kErrIO, "Input/output error");
    // A job that starts neither at load nor to be kept alive waits to be started by hand.
    if (job.startsAtLoad() && runSystemctl(*systemctl, {"enable", "--now", t.unitName}) != 0) {
        say(path, "systemctl --user enable --now " + t.unitName + " failed");
        return failed(o, kErrIO, "Input/output error");
    }
    return 0;
}

int unload(const Options& o, const std::string& path, const UnitTranslation& t) {
    const std::string unitPath = unitFolder() + "/" + t.unitName;
    struct stat st {};
    if (::stat(unitPath.c_str(), &st) != 0) {
        say(path, "no unit " + t.unitName + " was loaded from it");
        return failed(o, kErrNotFound, "Could not find specified service");
    }
    auto systemctl = reachUserManager(path);
    if (!systemctl)
        return failed(o, kErrIO, "Input/output error");
    if (runSystemctl(*systemctl, {"disable", "--now", t.unitName}) != 0) {
        say(path, "systemctl --user disable --now " + t.unitName + " failed");
        return failed(o, kErrIO, "Input/output error");
    }
    return 0;
}

}  // namespace

int loadOrUnload(const Options& o, const std::string& path) {
    int err = 0;
    auto bytes = readWholeFile(path, &err);
    if (!bytes) {
        say(path, std::strerror(err));
        return failed(o, err, std::strerror(err));
    }
    UnitTranslation t = translateLaunchAgent(*bytes, path);
    if (!t.job) {
        say(path, t.error);
        return failed(o, kErrIO, "Input/output error");
    }
    return o.load ? load(o, path, t) : unload(o, path, t);
}

}  // namespace launchctl
