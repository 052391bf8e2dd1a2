#include "linux/devices/SysfsFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace platform::linux_machine {

std::vector<std::string> folderEntries(const std::string& folder, int* error) {
    std::vector<std::string> names;
    if (error)
        *error = 0;
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        if (error && errno != ENOENT && errno != ENOTDIR)
            *error = errno;
        return names;
    }
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::optional<std::vector<std::uint8_t>> readWhole(const std::string& path, std::size_t limit,
                                                   int* error) {
    *error = 0;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = errno;
            close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.insert(bytes.end(), buf, buf + n);
        // A short read of a regular or sysfs file is its end: no second read
        // just to learn that (these files are read many times a second).
        if (static_cast<std::size_t>(n) < sizeof buf)
            break;
        if (bytes.size() > limit) {
            *error = EFBIG;
            close(fd);
            return std::nullopt;
        }
    }
    close(fd);
    return bytes;
}

std::optional<std::string> firstLineTrimmed(const std::vector<std::uint8_t>& bytes) {
    std::string s(bytes.begin(), bytes.end());
    s = s.substr(0, s.find('\n'));
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return std::string();
    auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> readBinaryFile(const std::string& path,
                                                        std::size_t limit) {
    int error = 0;
    return readWhole(path, limit, &error);
}

std::optional<std::string> readTextFile(const std::string& path, std::size_t limit) {
    int error = 0;
    auto bytes = readWhole(path, limit, &error);
    if (!bytes)
        return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::optional<double> parseDecimal(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    double value = 0.0;
    auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> readDecimal(const std::string& path) {
    auto line = readAttribute(path);
    return line ? parseDecimal(*line) : std::nullopt;
}

std::optional<std::string> readAttribute(const std::string& path) {
    int error = 0;
    auto bytes = readWhole(path, 4096, &error);
    if (!bytes)
        return std::nullopt;
    return firstLineTrimmed(*bytes);
}

std::optional<long long> readCount(const std::string& path, int* error) {
    int err = 0;
    auto bytes = readWhole(path, 4096, &err);
    std::optional<long long> value;
    if (bytes) {
        auto line = firstLineTrimmed(*bytes);
        if (!line->empty() && line->size() <= 18 &&
            std::all_of(line->begin(), line->end(), [](char c) { return c >= '0' && c <= '9'; })) {
            value = std::strtoll(line->c_str(), nullptr, 10);
        } else {
            err = EBADMSG;
        }
    }
    if (error)
        *error = err;
    return value;
}

std::optional<std::string> resolvedPath(const std::string& path) {
    char buf[PATH_MAX];
    if (!realpath(path.c_str(), buf))
        return std::nullopt;
    return std::string(buf);
}

std::optional<std::string> linkTargetName(const std::string& link) {
    char buf[PATH_MAX];
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n <= 0)
        return std::nullopt;
    std::string target(buf, static_cast<std::size_t>(n));
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();
    std::string name = baseName(target);
    if (name == "." || name == "..") {  // not as sysfs writes them: resolve it
        auto resolved = resolvedPath(link);
        return resolved ? std::optional(baseName(*resolved)) : std::nullopt;
    }
    return name;
}

std::string baseName(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentFolder(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace platform::linux_machine
