#include "linux/Sysroot.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform::linux_machine {

const std::string& sysroot() {
    static const std::string root = [] {
        std::string r = environment("PLATFORM_SYSROOT").value_or("/");
        while (r.size() > 1 && r.back() == '/') r.pop_back();
        return r == "/" ? std::string() : r;
    }();
    return root;
}

std::string underSysroot(const std::string& absolute) { return sysroot() + absolute; }

std::optional<std::string> readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return ss.str();
}

std::optional<std::string> readTrimmedLine(const std::string& path) {
    auto text = readTextFile(path);
    if (!text) return std::nullopt;
    std::string s = text->substr(0, text->find('\n'));
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return std::string();
    auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::optional<long long> readInteger(const std::string& path) {
    auto line = readTrimmedLine(path);
    if (!line || line->empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(line->c_str(), &end, 10);
    if (errno != 0 || end == line->c_str() || *end != '\0') return std::nullopt;
    return v;
}

std::optional<std::string> environment(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    return std::string(v);
}

std::string homeFolder() {
    if (auto home = environment("HOME")) return *home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

}  // namespace platform::linux_machine
