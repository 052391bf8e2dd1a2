#include "linux/devices/Sysroot.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace platform::linux_machine {

const std::string& sysroot() {
    // Never destroyed: the back-ends' own threads may still look for a device
    // while the process runs its exit handlers.
    static const std::string* const root = [] {
        std::string r = environment("PLATFORM_SYSROOT").value_or("/");
        while (r.size() > 1 && r.back() == '/')
            r.pop_back();
        return new std::string(r == "/" ? std::string() : r);
    }();
    return *root;
}

std::string underSysroot(const std::string& absolute) {
    return sysroot() + absolute;
}

std::optional<std::string> environment(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v)
        return std::nullopt;
    return std::string(v);
}

std::string homeFolder() {
    if (auto home = environment("HOME"))
        return *home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

}  // namespace platform::linux_machine
