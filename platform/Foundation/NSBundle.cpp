#include "Foundation/NSBundle.h"

#include <sys/stat.h>

#include "Foundation/PropertyListSerialization.h"

namespace {
bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}
bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

std::shared_ptr<NSBundle> NSBundle::bundleWithPath(const std::string& path) {
    if (path.empty() || !isFolder(path))
        return nullptr;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return std::make_shared<NSBundle>(p);
}

std::optional<std::string> NSBundle::pathForResource(const std::string& name,
                                                     const std::string& type) const {
    if (name.empty())
        return std::nullopt;
    const std::string file = type.empty() ? name : name + "." + type;
    const std::string direct = resourcePath() + "/" + file;
    if (exists(direct))
        return direct;
    for (const auto& localization : preferredLocalizations()) {
        const std::string localized = resourcePath() + "/" + localization + ".lproj/" + file;
        if (exists(localized))
            return localized;
    }
    return std::nullopt;
}

const NSDictionary& NSBundle::infoDictionary() const {
    if (!info_) {
        info_ =
            dictionaryWithContentsOfFile(path_ + "/Contents/Info.plist").value_or(NSDictionary{});
    }
    return *info_;
}

std::optional<std::string> NSBundle::executablePath() const {
    std::string name;
    auto it = infoDictionary().find("CFBundleExecutable");
    if (it != infoDictionary().end() && it->second.stringValue()) {
        name = *it->second.stringValue();
    } else {
        auto slash = path_.rfind('/');
        name = path_.substr(slash == std::string::npos ? 0 : slash + 1);
        auto dot = name.rfind('.');
        if (dot != std::string::npos)
            name.resize(dot);
    }
    const std::string exe = path_ + "/Contents/MacOS/" + name;
    if (!exists(exe))
        return std::nullopt;
    return exe;
}
