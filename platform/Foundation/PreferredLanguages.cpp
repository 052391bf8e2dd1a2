#include "Foundation/PreferredLanguages.h"

#include <algorithm>
#include <cstdlib>

namespace platform {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// "de_DE.UTF-8@euro" -> "de_DE"
std::string stripCodesetAndModifier(const std::string& locale) {
    return locale.substr(0, locale.find_first_of(".@"));
}

void addTag(std::vector<std::string>& out, const std::string& raw) {
    const std::string tag = stripCodesetAndModifier(raw);
    if (tag.empty() || tag == "C" || tag == "POSIX")
        return;
    auto add = [&](const std::string& t) {
        if (std::find(out.begin(), out.end(), t) == out.end())
            out.push_back(t);
    };
    add(tag);
    const size_t sep = tag.find_first_of("_-");
    if (sep != std::string::npos)
        add(tag.substr(0, sep));
}

}  // namespace

std::vector<std::string> preferredLanguages(const std::string& language, const std::string& lcAll,
                                            const std::string& lcMessages,
                                            const std::string& lang) {
    const std::string locale = !lcAll.empty() ? lcAll : !lcMessages.empty() ? lcMessages : lang;
    const std::string plainLocale = stripCodesetAndModifier(locale);
    std::vector<std::string> out;
    if (!language.empty() && plainLocale != "C" && plainLocale != "POSIX") {
        size_t start = 0;
        while (start <= language.size()) {
            const size_t colon = language.find(':', start);
            addTag(out, language.substr(
                            start, colon == std::string::npos ? std::string::npos : colon - start));
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
    }
    addTag(out, locale);
    return out;
}

std::vector<std::string> preferredLanguages() {
    return preferredLanguages(env("LANGUAGE"), env("LC_ALL"), env("LC_MESSAGES"), env("LANG"));
}

}  // namespace platform
