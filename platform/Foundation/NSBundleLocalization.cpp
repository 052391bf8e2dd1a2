// The localized parts of bundles: which <lang>.lproj folders serve the user,
// string tables, and the localized info dictionary.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "Foundation/NSBundle.h"
#include "Foundation/NSLog.h"
#include "Foundation/PreferredLanguages.h"
#include "Foundation/StringsTable.h"

namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A table of one localization folder; absent when there is none or it is damaged.
std::optional<platform::StringsTable> readTable(const std::string& path) {
    auto bytes = readWholeFile(path);
    if (!bytes)
        return std::nullopt;
    std::string error;
    auto table = platform::parseStringsTable(*bytes, &error);
    if (!table)
        NSLog("Cannot read string table %s: %s", path.c_str(), error.c_str());
    return table;
}

}  // namespace

std::vector<std::string> NSBundle::preferredLocalizations() const {
    std::vector<std::string> found;
    auto consider = [&](const std::string& name) {
        if (name.empty() || std::find(found.begin(), found.end(), name) != found.end())
            return;
        if (isFolder(resourcePath() + "/" + name + ".lproj"))
            found.push_back(name);
    };
    for (const auto& tag : platform::preferredLanguages()) {
        consider(tag);
        std::string dashed = tag;
        std::replace(dashed.begin(), dashed.end(), '_', '-');
        consider(dashed);
    }
    std::string developmentRegion = "en";
    if (auto it = infoDictionary().find("CFBundleDevelopmentRegion");
        it != infoDictionary().end() && it->second.stringValue()) {
        developmentRegion = *it->second.stringValue();
    }
    consider(developmentRegion);
    if (developmentRegion == "en")
        consider("English");
    consider("Base");
    return found;
}

std::string NSBundle::localizedStringForKey(const std::string& key, const std::string& value,
                                            const std::string& table) const {
    const std::string file = (table.empty() ? std::string("Localizable") : table) + ".strings";
    for (const auto& localization : preferredLocalizations()) {
        auto strings = readTable(resourcePath() + "/" + localization + ".lproj/" + file);
        if (!strings)
            continue;
        if (auto it = strings->find(key); it != strings->end())
            return it->second;
    }
    if (auto strings = readTable(resourcePath() + "/" + file)) {
        if (auto it = strings->find(key); it != strings->end())
            return it->second;
    }
    return value.empty() ? key : value;
}

NSDictionary NSBundle::localizedInfoDictionary() const {
    NSDictionary localized = infoDictionary();
    auto localizations = preferredLocalizations();
    // Least preferred first, so the most preferred language has the last word.
    for (auto it = localizations.rbegin(); it != localizations.rend(); ++it) {
        auto strings = readTable(resourcePath() + "/" + *it + ".lproj/InfoPlist.strings");
        if (!strings)
            continue;
        for (const auto& [k, v] : *strings)
            localized[k] = PlistValue::string(v);
    }
    return localized;
}
