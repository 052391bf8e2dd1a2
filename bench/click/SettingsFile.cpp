#include "click/SettingsFile.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "support/TempDir.h"

namespace click_bench {

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {
    const std::string folder = std::filesystem::path(path_).parent_path();
    std::filesystem::create_directories(folder);
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0 ||
        inotify_add_watch(inotify_, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE) < 0)
        throw std::runtime_error("cannot watch " + folder + " with inotify");
}

SettingsFile::~SettingsFile() {
    if (inotify_ >= 0)
        ::close(inotify_);
}

void SettingsFile::write(const std::map<std::string, bool>& switches,
                         const std::map<std::string, double>& curve) const {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n";
    for (const auto& [key, on] : switches)
        xml += "\t<key>" + key + "</key>\n\t<" + (on ? "true" : "false") + "/>\n";
    for (const auto& [key, value] : curve) {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", value);
        xml += "\t<key>" + key + "</key>\n\t<real>" + number + "</real>\n";
    }
    xml += "</dict>\n</plist>\n";
    testing_support::writeFile(path_, xml);
}

std::optional<double> SettingsFile::number(const std::string& key) const {
    const std::string text = testing_support::readFile(path_);
    const std::string tag = "<key>" + key + "</key>";
    auto at = text.find(tag);
    if (at == std::string::npos)
        return std::nullopt;
    at = text.find('<', at + tag.size());
    if (at == std::string::npos)
        return std::nullopt;
    for (const std::string element : {"<real>", "<integer>"}) {
        if (text.compare(at, element.size(), element) != 0)
            continue;
        const char* start = text.c_str() + at + element.size();
        char* end = nullptr;
        const double value = std::strtod(start, &end);
        if (end != start && *end == '<')
            return value;
    }
    return std::nullopt;
}

void SettingsFile::drain() const {
    char events[4096];
    while (::read(inotify_, events, sizeof events) > 0) {
    }
}

}  // namespace click_bench
